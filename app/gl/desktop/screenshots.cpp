// Screenshots: the pixels are read on the GL thread at the end of the frame they show, then
// encoded and written on a thread of their own, so that a large window's picture (seconds of
// PNG encoding) never holds up the frames or a quit. Every file goes through io/output_file:
// a temporary file beside the destination, renamed only when whole.
#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>
#include <string>
#include <thread>

#include "app/gl/callbacks.h"
#include "app/gl/desktop/png_file.h"
#include "app/input.h"
#include "app/play.h"
#include "app/screenshot_file.h"
#include "io/output_file.h"

namespace {

struct ShotJob {
    bool active = false; // a picture is being written (by `thread`) or waits to be reported
    bool is_final = false;
    std::thread thread;
    std::atomic<bool> done{false};
    std::unique_ptr<unsigned char[]> pixels;
    int width = 0;
    int height = 0;
    bool new_name = false; // the s key's: the first free tarnwell-*.png name
    ScreenshotNames names;
    OutputFile file;
    bool saved = false;
    char message[512] = ""; // why it was not saved, as printed on stderr
};

// A few pictures of the s key may be on their way at once (presses in quick succession each get
// their frame); one more for the --screenshot at quit.
// Never destroyed: an exit() from inside GLUT (a lost display) while a picture is being written
// must not meet a running thread in a destructor; the exit hook removes its temporary file.
constexpr int key_jobs = 3;
ShotJob* const jobs = new ShotJob[key_jobs + 1];
bool final_refused = false; // the --screenshot was refused before it was begun

void write_job(ShotJob* job) {
    char reason[256] = "";
    const int error =
        write_png(job->file.out, job->pixels.get(), job->width, job->height, reason, sizeof reason);
    job->pixels.reset();
    // The messages of the writer go into the job, to be printed from the GL thread with the
    // status line.
    std::FILE* messages = fmemopen(job->message, sizeof job->message - 1, "w");
    std::FILE* err = messages != nullptr ? messages : stderr;
    if (error != 0 && error != ENOMEM && error != EIO) reason[0] = '\0'; // the errno says it
    job->saved = job->new_name
                     ? commit_output_new(&job->file, error, screenshot_name, &job->names, err)
                     : commit_output(&job->file, error, err);
    if (!job->saved && reason[0] != '\0') std::fprintf(err, "  (%s)\n", reason);
    if (messages != nullptr) std::fclose(messages);
    job->done.store(true);
}

// Prints how a finished job went; returns whether it was saved.
bool report(ShotJob* job) {
    job->thread.join();
    job->active = false;
    if (job->saved) {
        std::printf("Screenshot saved: %s\n", printable_text(job->file.path.c_str()).c_str());
        std::fflush(stdout);
        return true;
    }
    std::fputs(job->message, stderr);
    std::fflush(stderr);
    set_status(play_state, "screenshot not saved: %s (see the console)",
               printable_text(job->file.path.c_str()).c_str());
    return false;
}

void refuse(const char* path, const char* reason) {
    std::fprintf(stderr, "tarnwell: cannot write the screenshot '%s': %s\n",
                 printable_text(path).c_str(), reason);
    std::fflush(stderr);
    set_status(play_state, "screenshot not saved: %s", reason);
}

bool begin_screenshot(const char* path);

} // namespace

bool take_screenshot(const char* path) {
    const bool begun = begin_screenshot(path);
    if (path != nullptr && !begun) final_refused = true;
    return begun;
}

namespace {

bool begin_screenshot(const char* path) {
    ShotJob* job = nullptr;
    if (path != nullptr) {
        job = &jobs[key_jobs];
    } else {
        for (int i = 0; i < key_jobs && job == nullptr; ++i)
            if (!jobs[i].active) job = &jobs[i];
    }
    const char* shown = path != nullptr ? path : "tarnwell-*.png";
    if (job == nullptr || job->active) {
        std::printf("Screenshot not taken: %d pictures are still being written; press s again "
                    "in a moment\n",
                    key_jobs);
        std::fflush(stdout);
        set_status(play_state, "screenshot not taken: the last ones are still being written");
        return false;
    }
    const int width = window_width;
    const int height = window_height;
    char reason[160];
    if (width <= 0 || height <= 0 || width > max_screenshot_side || height > max_screenshot_side) {
        std::snprintf(reason, sizeof reason,
                      "the window is %d x %d pixels; screenshots are taken up to %d x %d", width,
                      height, max_screenshot_side, max_screenshot_side);
        refuse(shown, reason);
        return false;
    }
    job->new_name = path == nullptr;
    if (job->new_name) job->names = screenshot_names("", std::time(nullptr));
    const std::string destination =
        job->new_name ? screenshot_name(1, &job->names) : std::string(path);
    // Allocated per picture, not per frame: screenshots are rare.
    job->pixels.reset(new (
        std::nothrow) unsigned char[static_cast<size_t>(width) * 3 * static_cast<size_t>(height)]);
    if (!job->pixels) {
        std::snprintf(reason, sizeof reason, "no memory for %d x %d pixels", width, height);
        refuse(shown, reason);
        return false;
    }
    if (!open_output(&job->file, "tarnwell", "the screenshot", destination, stderr)) {
        job->pixels.reset();
        set_status(play_state, "screenshot not saved (see the console)");
        return false;
    }
    read_back_buffer(width, height, job->pixels.get());
    job->width = width;
    job->height = height;
    job->is_final = path != nullptr;
    job->saved = false;
    job->message[0] = '\0';
    job->done.store(false);
    job->active = true;
    job->thread = std::thread(write_job, job);
    return true;
}

} // namespace

void poll_screenshots() {
    for (int i = 0; i < key_jobs; ++i)
        if (jobs[i].active && jobs[i].done.load()) report(&jobs[i]);
}

bool finish_screenshots() {
    bool final_saved = !final_refused;
    for (int i = 0; i <= key_jobs; ++i) {
        if (!jobs[i].active) continue;
        const bool saved = report(&jobs[i]);
        if (jobs[i].is_final) final_saved = saved;
    }
    return final_saved;
}
