#include "io/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "base/printable_text.h"

namespace {

// The temporary files that exist right now, for the signal handler and the exit hook. Fixed
// arrays: a handler may not allocate. A slot is free (0), being filled (1) or names a file
// that a fatal signal must remove (2); a screenshot may be committed on another thread than
// the one that opened it, hence the atomics (lock-free, so safe in a handler too).
constexpr std::size_t temp_path_size = PATH_MAX + 32;
char temp_paths[max_open_outputs][temp_path_size];
std::atomic<int> temp_state[max_open_outputs];

static_assert(std::atomic<int>::is_always_lock_free, "the signal handler reads these");

void remove_temporaries() {
    for (int i = 0; i < max_open_outputs; ++i)
        if (temp_state[i].load() == 2) unlink(temp_paths[i]);
}

extern "C" void remove_temporaries_and_die(int signal_number) {
    remove_temporaries();
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

// exit() from a library (a lost X display ends the window program inside GLUT) leaves no
// temporary file behind either.
extern "C" void remove_temporaries_at_exit() {
    remove_temporaries();
}

void watch_signals() {
    static bool registered = false;
    if (registered) return;
    registered = std::atexit(remove_temporaries_at_exit) == 0;
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGXFSZ, SIGXCPU})
        std::signal(s, remove_temporaries_and_die);
}

void release_slot(OutputFile* file) {
    if (file->slot < 0) return;
    temp_state[file->slot].store(0);
    file->slot = -1;
}

bool say(const char* program, const char* what, const std::string& path, std::FILE* err,
         const std::string& reason) {
    std::fprintf(err, "%s: cannot write %s '%s': %s\n", program, what,
                 printable_text(path.c_str()).c_str(), reason.c_str());
    std::fflush(err);
    return false;
}

std::string folder_of(const std::string& path) {
    const std::string::size_type slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

const char* kind_of(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISFIFO(mode)) return "a FIFO (named pipe)";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

// What is wrong with `path` as a destination ("" when nothing is). Fills `final_path` (links
// resolved) and `st` / `exists` for an existing file.
std::string destination_problem(const std::string& path, std::string* final_path, struct stat* st,
                                bool* exists) {
    *exists = false;
    *final_path = path;
    struct stat link_st;
    if (lstat(path.c_str(), &link_st) == 0) {
        if (stat(path.c_str(), st) != 0) {
            const int error = errno;
            if (S_ISLNK(link_st.st_mode) && error == ENOENT) {
                char target[PATH_MAX];
                const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
                target[n > 0 ? n : 0] = '\0';
                return "it is a symbolic link to '" + printable_text(target) +
                       "', which does not exist";
            }
            return std::strerror(error);
        }
        if (!S_ISREG(st->st_mode))
            return std::string("it is ") + kind_of(st->st_mode) +
                   ", not a regular file; give the path of a file";
        // A rename would replace a file its user may not write: the folder's permission is not
        // the file's.
        if (access(path.c_str(), W_OK) != 0)
            return std::string("the file may not be written (") + std::strerror(errno) + ")";
        *exists = true;
        char resolved[PATH_MAX];
        if (realpath(path.c_str(), resolved) != nullptr) *final_path = resolved;
    } else if (errno != ENOENT) {
        return std::strerror(errno);
    }
    const std::string folder = folder_of(*final_path);
    struct stat folder_st;
    if (stat(folder.c_str(), &folder_st) != 0) {
        const int error = errno;
        if (error == ENOENT)
            return "the folder '" + printable_text(folder.c_str()) + "' does not exist (" +
                   std::strerror(error) + ")";
        return "the folder '" + printable_text(folder.c_str()) + "': " + std::strerror(error);
    }
    if (!S_ISDIR(folder_st.st_mode))
        return "'" + printable_text(folder.c_str()) + "' is not a folder";
    if (access(folder.c_str(), W_OK | X_OK) != 0)
        return "no new file may be made in the folder '" + printable_text(folder.c_str()) + "' (" +
               std::strerror(errno) + ")";
    return std::string();
}

mode_t creation_mode() {
    static const mode_t mode = [] {
        const mode_t mask = umask(0);
        umask(mask);
        return static_cast<mode_t>(0666 & ~mask);
    }();
    return mode;
}

bool close_temporary(OutputFile* file, int* error) {
    // Buffered bytes can still fail (a full disk reports at the flush, some file systems only at
    // fsync or close); nothing is renamed until all of them succeeded.
    if (*error == 0 && std::ferror(file->out)) *error = EIO;
    if (*error == 0 && std::fflush(file->out) != 0) *error = errno;
    if (*error == 0 && fsync(fileno(file->out)) != 0) *error = errno;
    const int close_status = std::fclose(file->out);
    file->out = nullptr;
    if (*error == 0 && close_status != 0) *error = errno;
    return *error == 0;
}

} // namespace

bool check_output(const char* program, const char* what, const std::string& path, std::FILE* err) {
    std::string final_path;
    struct stat st;
    bool exists = false;
    const std::string problem = destination_problem(path, &final_path, &st, &exists);
    return problem.empty() || say(program, what, path, err, problem);
}

bool open_output(OutputFile* file, const char* program, const char* what, const std::string& path,
                 std::FILE* err) {
    file->program = program;
    file->what = what;
    file->path = path;
    struct stat st;
    const std::string problem = destination_problem(path, &file->final_path, &st, &file->existed);
    if (!problem.empty()) return say(program, what, path, err, problem);

    const std::string temp = file->final_path + ".tmp.XXXXXX";
    if (temp.size() >= temp_path_size)
        return say(program, what, path, err, std::strerror(ENAMETOOLONG));
    int slot = -1;
    for (int i = 0; i < max_open_outputs && slot < 0; ++i) {
        int expected = 0;
        if (temp_state[i].compare_exchange_strong(expected, 1)) slot = i;
    }
    if (slot < 0) return say(program, what, path, err, "too many files are being written at once");
    file->slot = slot;
    std::memcpy(temp_paths[slot], temp.c_str(), temp.size() + 1);
    watch_signals();
    temp_state[slot].store(2);
    const int fd = mkstemp(temp_paths[slot]);
    if (fd < 0) {
        const int error = errno;
        release_slot(file);
        return say(program, what, path, err,
                   "cannot make a file in the folder '" +
                       printable_text(folder_of(file->final_path).c_str()) +
                       "': " + std::strerror(error));
    }
    // mkstemp makes the file private: give it the mode (and where allowed the owner) the old
    // file had, or what a newly created file gets.
    if (file->existed && fchown(fd, st.st_uid, st.st_gid) != 0) {
        // Only root may give a file away; the new file is then the user's own, as any new file.
    }
    const mode_t mode = file->existed ? (st.st_mode & 07777) : creation_mode();
    if (fchmod(fd, mode) != 0 || (file->out = fdopen(fd, "wb")) == nullptr) {
        const int error = errno;
        close(fd);
        unlink(temp_paths[slot]);
        release_slot(file);
        return say(program, what, path, err, std::strerror(error));
    }
    return true;
}

void abandon_output(OutputFile* file) {
    if (file->out != nullptr) std::fclose(file->out);
    file->out = nullptr;
    if (file->slot >= 0) unlink(temp_paths[file->slot]);
    release_slot(file);
}

bool commit_output(OutputFile* file, int write_error, std::FILE* err) {
    int error = write_error;
    if (close_temporary(file, &error) &&
        std::rename(temp_paths[file->slot], file->final_path.c_str()) != 0)
        error = errno;
    if (error != 0) {
        abandon_output(file);
        return say(file->program, file->what, file->path, err, std::strerror(error));
    }
    release_slot(file);
    return true;
}

bool commit_output_new(OutputFile* file, int write_error,
                       std::string (*name_for)(int k, const void* context), const void* context,
                       std::FILE* err) {
    int error = write_error;
    if (!close_temporary(file, &error)) {
        abandon_output(file);
        return say(file->program, file->what, file->path, err, std::strerror(error));
    }
    const char* temp = temp_paths[file->slot];
    for (int k = 1; k <= 1000; ++k) {
        const std::string name = name_for(k, context);
        // A hard link is made only where the name is free, atomically, even against another
        // program creating the same name; file systems without links reserve the name instead.
        int status = link(temp, name.c_str());
        if (status != 0 && errno != EEXIST) {
            const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (fd >= 0) {
                close(fd);
                status = std::rename(temp, name.c_str());
                if (status != 0) unlink(name.c_str());
            }
        }
        if (status == 0) {
            unlink(temp); // gone already after a rename
            release_slot(file);
            file->path = name;
            return true;
        }
        if (errno != EEXIST) {
            error = errno;
            abandon_output(file);
            return say(file->program, file->what, name, err, std::strerror(error));
        }
    }
    abandon_output(file);
    return say(file->program, file->what, name_for(1, context), err,
               "the first 1000 names are taken");
}

FileIdentity file_identity(const std::string& path) {
    FileIdentity id;
    struct stat st;
    if (stat(path.c_str(), &st) == 0) {
        id.exists = true;
        id.device = st.st_dev;
        id.inode = st.st_ino;
        return id;
    }
    // Not there yet: the folder resolved, then the name.
    const std::string::size_type slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    char resolved[PATH_MAX];
    if (realpath(folder.c_str(), resolved) != nullptr) {
        id.resolved = std::string(resolved) + "/" + name;
    } else {
        id.resolved = path;
    }
    return id;
}

bool same_file(const FileIdentity& a, const FileIdentity& b) {
    if (a.exists != b.exists) return false;
    if (a.exists) return a.device == b.device && a.inode == b.inode;
    return a.resolved == b.resolved;
}

bool distinct_files(const char* program, const NamedPath* paths, int count, std::FILE* err) {
    for (int i = 0; i < count; ++i) {
        if (paths[i].path.empty()) continue;
        const FileIdentity a = file_identity(paths[i].path);
        for (int j = i + 1; j < count; ++j) {
            if (paths[j].path.empty() || !same_file(a, file_identity(paths[j].path))) continue;
            std::fprintf(err,
                         "%s: %s '%s' and %s '%s' are the same file: one would overwrite the "
                         "other; give each its own file\n",
                         program, paths[i].option, printable_text(paths[i].path.c_str()).c_str(),
                         paths[j].option, printable_text(paths[j].path.c_str()).c_str());
            return false;
        }
    }
    return true;
}
