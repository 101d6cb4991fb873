// Recordings: the frames kept are read from the back buffer as they are drawn, scaled, mapped onto
// a fixed palette and written at once as the next image of an animated GIF (giflib), so that a
// recording holds only one frame's buffers, sized when it starts, however long it runs. The file
// is a temporary one beside the destination (io/output_file), renamed over it only once whole.
#include <gif_lib.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>
#include <string>

#include "app/gl/callbacks.h"
#include "app/gl/desktop/png_file.h"
#include "app/input.h"
#include "app/play.h"
#include "app/recording.h"
#include "app/screenshot_file.h"
#include "base/printable_text.h"
#include "config/config.h"
#include "io/output_file.h"

namespace {

struct Recorder {
    bool active = false;
    bool new_name = false; // the v key's: the first free tarnwell-*.gif name
    ScreenshotNames names;
    OutputFile file;
    GifFileType* gif = nullptr;
    int write_error = 0; // errno of the first write that failed
    int window_w = 0;    // the window's size when the recording began
    int window_h = 0;
    RecordSize size{0, 0};
    int32_t every = 1;
    std::unique_ptr<unsigned char[]> pixels;
    std::unique_ptr<uint8_t[]> indices;
    std::unique_ptr<uint8_t[]> previous;
    int64_t frames_seen = 0;
    int64_t frames_kept = 0;
    bool failed = false; // a recording of this run was not saved
};
Recorder recorder;

int write_bytes(GifFileType* gif, const GifByteType* bytes, int count) {
    Recorder* r = static_cast<Recorder*>(gif->UserData);
    if (r->write_error != 0 || r->file.out == nullptr) return 0;
    errno = 0;
    const size_t written = std::fwrite(bytes, 1, static_cast<size_t>(count), r->file.out);
    if (written != static_cast<size_t>(count)) r->write_error = errno != 0 ? errno : EIO;
    return static_cast<int>(written);
}

// A giflib failure that was not a write of ours: its own words.
int gif_failure(int gif_error, char* reason, size_t size) {
    const char* text = GifErrorString(gif_error);
    std::snprintf(reason, size, "%s", text != nullptr ? text : "the GIF encoder failed");
    return EIO;
}

void refuse(const char* shown, const char* reason) {
    std::fprintf(stderr, "tarnwell: cannot write the recording '%s': %s\n",
                 printable_text(shown).c_str(), reason);
    std::fflush(stderr);
    set_status(play_state, "recording not started: %s", reason);
}

// The GIF's header: screen, palette, endless looping.
bool write_header(Recorder& r, char* reason, size_t size) {
    int error = 0;
    r.gif = EGifOpen(&r, write_bytes, &error);
    if (r.gif == nullptr) {
        gif_failure(error, reason, size);
        return false;
    }
    EGifSetGifVersion(r.gif, true);
    uint8_t palette[record_palette_size][3];
    record_palette(palette);
    GifColorType colours[record_palette_size];
    for (int i = 0; i < record_palette_size; ++i)
        colours[i] = GifColorType{palette[i][0], palette[i][1], palette[i][2]};
    ColorMapObject* map = GifMakeMapObject(record_palette_size, colours);
    if (map == nullptr) {
        std::snprintf(reason, size, "no memory for the palette");
        return false;
    }
    static const GifByteType netscape[] = "NETSCAPE2.0";
    static const GifByteType loop_forever[3] = {1, 0, 0};
    const bool ok = EGifPutScreenDesc(r.gif, r.size.width, r.size.height, 8, 0, map) == GIF_OK &&
                    EGifPutExtensionLeader(r.gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
                    EGifPutExtensionBlock(r.gif, 11, netscape) == GIF_OK &&
                    EGifPutExtensionBlock(r.gif, 3, loop_forever) == GIF_OK &&
                    EGifPutExtensionTrailer(r.gif) == GIF_OK;
    GifFreeMapObject(map);
    if (!ok && r.write_error == 0) gif_failure(r.gif->Error, reason, size);
    return ok;
}

// Ends the GIF and moves it to its destination; prints where, or why not.
bool finish(Recorder& r, const char* why_stopped) {
    char reason[160] = "";
    int error = 0;
    if (r.gif != nullptr) {
        int gif_error = 0;
        if (EGifCloseFile(r.gif, &gif_error) != GIF_OK && r.write_error == 0)
            error = gif_failure(gif_error, reason, sizeof reason);
        r.gif = nullptr;
    }
    if (r.write_error != 0) error = r.write_error;
    r.pixels.reset();
    r.indices.reset();
    r.previous.reset();
    r.active = false;
    const bool saved = r.new_name
                           ? commit_output_new(&r.file, error, recording_name, &r.names, stderr)
                           : commit_output(&r.file, error, stderr);
    if (!saved && reason[0] != '\0') std::fprintf(stderr, "  (%s)\n", reason);
    if (!saved) r.failed = true;
    if (saved) {
        std::printf("Recording saved: %s (%lld frames of %d x %d%s%s)\n",
                    printable_text(r.file.path.c_str()).c_str(),
                    static_cast<long long>(r.frames_kept), r.size.width, r.size.height,
                    why_stopped[0] != '\0' ? "; " : "", why_stopped);
        set_status(play_state, "recording saved: %s (%lld frames)",
                   printable_text(r.file.path.c_str()).c_str(),
                   static_cast<long long>(r.frames_kept));
    } else {
        set_status(play_state, "recording not saved: %s (see the console)",
                   printable_text(r.file.path.c_str()).c_str());
    }
    std::fflush(stdout);
    std::fflush(stderr);
    return saved;
}

} // namespace

bool recording_active() {
    return recorder.active;
}

bool start_recording(const char* path) {
    Recorder& r = recorder;
    if (r.active) return true;
    const char* shown = path != nullptr ? path : "tarnwell-*.gif";
    const bool failed = r.failed;
    r = Recorder{};
    r.failed = failed;
    r.window_w = window_width;
    r.window_h = window_height;
    r.size = record_frame_size(window_width, window_height, graph_config.record_size);
    r.every = graph_config.record_every;
    char reason[160];
    if (window_width <= 0 || window_height <= 0 || window_width > max_screenshot_side ||
        window_height > max_screenshot_side) {
        std::snprintf(reason, sizeof reason,
                      "the window is %d x %d pixels; recordings are made up to %d x %d",
                      window_width, window_height, max_screenshot_side, max_screenshot_side);
        r.failed = true;
        refuse(shown, reason);
        return false;
    }
    const int64_t window_pixels = static_cast<int64_t>(window_width) * window_height;
    const int64_t frame_pixels = static_cast<int64_t>(r.size.width) * r.size.height;
    // Sized once for the whole recording: nothing is allocated while it runs.
    r.pixels.reset(new (std::nothrow) unsigned char[static_cast<size_t>(window_pixels) * 3]);
    r.indices.reset(new (std::nothrow) uint8_t[static_cast<size_t>(frame_pixels)]);
    r.previous.reset(new (std::nothrow) uint8_t[static_cast<size_t>(frame_pixels)]);
    if (!r.pixels || !r.indices || !r.previous) {
        std::snprintf(reason, sizeof reason, "no memory for %d x %d pixels", window_width,
                      window_height);
        r = Recorder{};
        r.failed = true;
        refuse(shown, reason);
        return false;
    }
    std::memset(r.previous.get(), record_unchanged, static_cast<size_t>(frame_pixels));
    r.new_name = path == nullptr;
    if (r.new_name) r.names = screenshot_names("", std::time(nullptr));
    const std::string destination = r.new_name ? recording_name(1, &r.names) : std::string(path);
    if (!open_output(&r.file, "tarnwell", "the recording", destination, stderr)) {
        r = Recorder{};
        r.failed = true;
        set_status(play_state, "recording not started (see the console)");
        return false;
    }
    if (!write_header(r, reason, sizeof reason)) {
        if (r.gif != nullptr) EGifCloseFile(r.gif, nullptr);
        r.gif = nullptr;
        const int error = r.write_error != 0 ? r.write_error : EIO;
        commit_output(&r.file, error, stderr);
        if (r.write_error == 0) std::fprintf(stderr, "  (%s)\n", reason);
        r = Recorder{};
        r.failed = true;
        set_status(play_state, "recording not started (see the console)");
        return false;
    }
    r.active = true;
    std::printf("Recording to %s: %d x %d, one frame in %d\n",
                printable_text(destination.c_str()).c_str(), r.size.width, r.size.height, r.every);
    std::fflush(stdout);
    set_status(play_state, "recording (v stops it)");
    return true;
}

void record_drawn_frame() {
    Recorder& r = recorder;
    if (!r.active) return;
    if (window_width != r.window_w || window_height != r.window_h) {
        finish(r, "stopped when the window changed size");
        return;
    }
    const int64_t j = r.frames_seen++;
    if (!frame_recorded(j, r.every)) return;
    read_back_buffer(r.window_w, r.window_h, r.pixels.get());
    index_frame(r.pixels.get(), r.window_w, r.window_h, r.indices.get(), r.size.width,
                r.size.height);
    const int64_t count = static_cast<int64_t>(r.size.width) * r.size.height;
    keep_changes(r.indices.get(), r.previous.get(), count);
    // Kept on screen under the next frame, whose unchanged pixels are transparent.
    const GifByteType control[4] = {static_cast<GifByteType>((1 << 2) | 1),
                                    static_cast<GifByteType>(record_frame_delay_cs & 0xFF),
                                    static_cast<GifByteType>(record_frame_delay_cs >> 8),
                                    record_unchanged};
    const bool ok =
        EGifPutExtension(r.gif, GRAPHICS_EXT_FUNC_CODE, 4, control) == GIF_OK &&
        EGifPutImageDesc(r.gif, 0, 0, r.size.width, r.size.height, false, nullptr) == GIF_OK &&
        EGifPutLine(r.gif, r.indices.get(), static_cast<int>(count)) == GIF_OK;
    if (ok) {
        ++r.frames_kept;
        return;
    }
    // A failed write ends the recording at once; the destination keeps what it held.
    if (r.write_error == 0) r.write_error = EIO;
    finish(r, "");
}

bool stop_recording() {
    if (recorder.active) finish(recorder, "");
    return !recorder.failed;
}
