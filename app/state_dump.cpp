#include "app/state_dump.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "sph/sim_state.h"
#include "surface/surface.h"

namespace {

// Name of the temporary file while one exists, for the signal handler and the exit hook;
// empty otherwise. A fixed array: a handler may not allocate.
char temp_path_for_signals[PATH_MAX + 32];

extern "C" void remove_temp_and_die(int signal_number) {
    if (temp_path_for_signals[0] != '\0') unlink(temp_path_for_signals);
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

// exit() from a library (a lost X display ends the window program inside GLUT) leaves no
// temporary file behind either.
extern "C" void remove_temp_at_exit() {
    if (temp_path_for_signals[0] != '\0') unlink(temp_path_for_signals);
}

void watch_signals() {
    static bool registered = false;
    if (!registered) registered = std::atexit(remove_temp_at_exit) == 0;
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGXFSZ, SIGXCPU})
        std::signal(s, remove_temp_and_die);
}

void forget_temp() { temp_path_for_signals[0] = '\0'; }

[[nodiscard]] bool dump_error(const DumpFile& dump, int error) {
    std::fprintf(stderr, "%s: cannot write the dump '%s': %s\n", dump.program, dump.path.c_str(),
                 std::strerror(error));
    return false;
}

__attribute__((format(printf, 2, 3))) void put(DumpFile* dump, const char* format, ...) {
    if (dump->error != 0) return;
    va_list args;
    va_start(args, format);
    const int n = std::vfprintf(dump->out, format, args);
    va_end(args);
    if (n < 0) dump->error = errno != 0 ? errno : EIO;
}

}  // namespace

bool open_dump(const char* program, const std::string& path, DumpFile* dump) {
    dump->program = program;
    dump->path = path;
    struct stat st;
    const bool exists = stat(path.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) return dump_error(*dump, EISDIR);
    if (exists && !S_ISREG(st.st_mode)) {
        dump->out = std::fopen(path.c_str(), "w");
        if (dump->out == nullptr) return dump_error(*dump, errno);
        return true;
    }
    // A link to a file keeps being a link: the new dump replaces the file it points to.
    char resolved[PATH_MAX];
    dump->final_path = exists && realpath(path.c_str(), resolved) != nullptr ? resolved : path;
    const std::string temp = dump->final_path + ".tmp.XXXXXX";
    if (temp.size() >= sizeof temp_path_for_signals) return dump_error(*dump, ENAMETOOLONG);
    std::memcpy(temp_path_for_signals, temp.c_str(), temp.size() + 1);
    watch_signals();
    const int fd = mkstemp(temp_path_for_signals);
    if (fd < 0) {
        const int error = errno;
        forget_temp();
        return dump_error(*dump, error);
    }
    // mkstemp makes the file private; give it the mode an existing dump had, or the one a newly
    // created file gets.
    mode_t mode = 0;
    if (exists) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    if (fchmod(fd, mode) != 0 || (dump->out = fdopen(fd, "w")) == nullptr) {
        const int error = errno;
        close(fd);
        unlink(temp_path_for_signals);
        forget_temp();
        return dump_error(*dump, error);
    }
    return true;
}

void abandon_dump(DumpFile* dump) {
    if (dump->out != nullptr) std::fclose(dump->out);
    dump->out = nullptr;
    if (temp_path_for_signals[0] != '\0') unlink(temp_path_for_signals);
    forget_temp();
}

bool write_dump(DumpFile* dump, long long steps, bool with_surface) {
    put(dump, "# tarnwell-sim state: step=%lld count=%d bodies=%d\n", steps, sim.count,
        sim.geom_count);
    for (int32_t i = 0; i < sim.count && dump->error == 0; ++i) {
        const Vec2 p = sim.position[i];
        const Vec2 v = sim.velocity[i];
        const Vec2 e = sim.velocity_eval[i];
        const Vec2 dp = sim.density_pressure[i];
        const Color3 c = sim.color != nullptr ? sim.color[i] : Color3{0.0f, 0.0f, 0.0f};
        put(dump, "p %d %.9g %.9g %.9g %.9g %.9g %.9g %.9g %.9g %.9g %.9g %.9g\n", i, p.x, p.y,
            v.x, v.y, e.x, e.y, dp.x, dp.y, c.r, c.g, c.b);
    }
    for (int32_t k = 0; k < sim.geom_count; ++k) {
        const RigidBody& b = sim.bodies[k];
        put(dump, "b %d %.9g %.9g %.9g %.9g %.9g %.9g\n", k, b.center.x, b.center.y, b.angle,
            b.linear_velocity.x, b.linear_velocity.y, b.angular_velocity);
    }
    if (with_surface) {
        const int32_t n = surface_grid != nullptr ? surface_grid->line_vertex_count : 0;
        put(dump, "s %d\n", n);
        const Vec2* v = n > 0 ? surface_line_vertices(surface_grid) : nullptr;
        for (int32_t i = 0; i < n && dump->error == 0; ++i)
            put(dump, "v %.9g %.9g\n", v[i].x, v[i].y);
    }

    // Buffered bytes can still fail (a full disk reports at the flush, some file systems only
    // at fsync or close); the rename happens only after all of them succeeded.
    const bool temporary = temp_path_for_signals[0] != '\0';
    if (dump->error == 0 && std::fflush(dump->out) != 0) dump->error = errno;
    if (dump->error == 0 && temporary && fsync(fileno(dump->out)) != 0) dump->error = errno;
    const int close_status = std::fclose(dump->out);
    dump->out = nullptr;
    if (dump->error == 0 && close_status != 0) dump->error = errno;
    if (dump->error == 0 && temporary &&
        std::rename(temp_path_for_signals, dump->final_path.c_str()) != 0)
        dump->error = errno;
    if (dump->error != 0) {
        abandon_dump(dump);
        return dump_error(*dump, dump->error);
    }
    forget_temp();
    return true;
}
