#include "output_file.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <mutex>
#include <set>
#include <thread>

#include "progress.hpp"

namespace orvessa::cli {

namespace {

// Read once before any thread starts: umask() can only be read by setting it.
const mode_t process_umask = [] {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}();

// The temporary files not yet renamed. Never destroyed: the signal thread
// may use it while the process exits.
struct Unfinished {
    std::mutex mutex;
    std::set<std::string> paths;
};
Unfinished& unfinished() {
    static auto* const files = new Unfinished;
    return *files;
}

enum class Kind { missing, regular, folder, special, error };

struct Existing {
    Kind kind = Kind::missing;
    int err = 0;
    std::string target;  // the file a rename would replace
    struct stat info {};
};

// What OUT is now. A link to a regular file stands for that file: the
// file is replaced and the link kept.
Existing look_at(std::string_view path) {
    Existing e;
    e.target = std::string(path);
    if (::lstat(e.target.c_str(), &e.info) != 0) {
        e.kind = errno == ENOENT ? Kind::missing : Kind::error;
        e.err = errno;
        return e;
    }
    if (S_ISLNK(e.info.st_mode)) {
        if (::stat(e.target.c_str(), &e.info) != 0) {
            e.kind = errno == ENOENT ? Kind::missing : Kind::error;  // a dangling link is replaced
            e.err = errno;
            return e;
        }
        if (char* real = ::realpath(e.target.c_str(), nullptr)) {
            e.target = real;
            std::free(real);
        }
    }
    e.kind = S_ISREG(e.info.st_mode) ? Kind::regular : S_ISDIR(e.info.st_mode) ? Kind::folder : Kind::special;
    return e;
}

void say_exists(std::string_view path) {
    complain(std::string(path) + " exists; --force (-f) replaces it");
}

std::string cannot_write(std::string_view path, int err) {
    return "cannot write " + std::string(path) + ": " + std::strerror(err);
}

std::string folder_of(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Devices and the kernel's files are written in place, never replaced.
bool system_file(std::string_view path) {
    return path.substr(0, 5) == "/dev/" || path.substr(0, 6) == "/proc/" || path.substr(0, 5) == "/sys/";
}

bool rename_into_place(const std::string& from, const std::string& to, Replace replace) {
    if (replace == Replace::allow) return ::rename(from.c_str(), to.c_str()) == 0;
    // Without --force a file that appeared meanwhile is not replaced either.
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    struct stat info {};
    if (::lstat(to.c_str(), &info) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace

bool output_exists(std::string_view path) {
    return path != "-" && !system_file(path) && look_at(path).kind == Kind::regular;
}

bool output_allowed(std::string_view path, Replace replace) {
    if (path == "-" || system_file(path)) return true;
    const Existing e = look_at(path);
    switch (e.kind) {
        case Kind::error:
            complain(cannot_write(path, e.err));
            return false;
        case Kind::folder:
            complain(cannot_write(path, EISDIR));
            return false;
        case Kind::regular:
            if (replace == Replace::refuse) {
                say_exists(path);
                return false;
            }
            return true;
        default:
            return true;
    }
}

OutputFile::~OutputFile() {
    if (temp_.empty()) return;
    auto& files = unfinished();
    const std::lock_guard lock(files.mutex);
    ::unlink(temp_.c_str());
    files.paths.erase(temp_);
}

bool OutputFile::fail(int err) {
    complain(err == ENXIO ? "cannot write " + path_ + ": no process reads the FIFO" : cannot_write(path_, err));
    return false;
}

bool OutputFile::open(std::string_view path, Replace replace) {
    path_ = std::string(path);
    replace_ = replace;
    if (path == "-" || path == "/dev/stdout") {
        std::cout.flush();
        standard_output_ = true;
        return true;
    }
    if (!output_allowed(path, replace)) return false;
    const Existing e = look_at(path);
    if (e.kind == Kind::special || system_file(path)) {
        // Without blocking: a FIFO that nobody reads is refused (ENXIO)
        // rather than waited on.
        fd_.reset(::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
        const int flags = fd_.get() < 0 ? -1 : ::fcntl(fd_.get(), F_GETFL);
        if (flags < 0 || ::fcntl(fd_.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return fail(errno);
        return true;
    }
    if (e.kind == Kind::error) return fail(e.err);
    replacing_ = e.kind == Kind::regular;
    kept_ = {e.info.st_mode, e.info.st_uid, e.info.st_gid};
    target_ = e.target;
    const std::string name = target_.substr(folder_of(target_).size());
    std::string temp = folder_of(target_) + "." + name.substr(0, NAME_MAX - 24) + ".orvessa-XXXXXX";
    auto& files = unfinished();
    const std::lock_guard lock(files.mutex);
    fd_.reset(::mkostemp(temp.data(), O_CLOEXEC));
    if (fd_.get() < 0) return fail(errno);
    temp_ = temp;
    files.paths.insert(temp_);
    return true;
}

bool OutputFile::write(std::span<const std::uint8_t> bytes) {
    const int out = fd();
    const std::uint8_t* next = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t put = ::write(out, next, left);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return fail(put < 0 ? errno : EIO);
        next += put;
        left -= static_cast<std::size_t>(put);
    }
    return true;
}

bool OutputFile::commit() {
    if (standard_output_) return true;
    if (temp_.empty()) return fd_.close() || fail(errno);
    const mode_t mode = replacing_ ? kept_.mode & 07777 : 0666 & ~process_umask;
    if (::fchmod(fd_.get(), mode) != 0) return fail(errno);
    // Only root may give the file back to another owner; others keep theirs.
    if (replacing_ && ::fchown(fd_.get(), kept_.uid, kept_.gid) != 0) errno = 0;
    // fsync is where a full disk shows up for writes the kernel held back.
    if (::fsync(fd_.get()) != 0 || !fd_.close()) return fail(errno);
    {
        auto& files = unfinished();
        const std::lock_guard lock(files.mutex);
        if (!rename_into_place(temp_, target_, replace_)) {
            const int err = errno;
            if (err != EEXIST) return fail(err);
            say_exists(path_);
            return false;
        }
        files.paths.erase(temp_);
        temp_.clear();
    }
    // The rename itself reaches the disk with the folder.
    const std::string folder = folder_of(target_);
    const platform::UniqueFd dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) ::fsync(dir.get());
    return true;
}

void remove_unfinished_outputs_on_signals() {
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    ::pthread_sigmask(SIG_BLOCK, &stop, nullptr);
    // A file-size limit then fails the write (EFBIG), which cleans up,
    // rather than killing the process with its temporary file left.
    ::signal(SIGXFSZ, SIG_IGN);
    std::thread([stop] {
        int signal = 0;
        while (::sigwait(&stop, &signal) != 0) {
        }
        auto& files = unfinished();
        files.mutex.lock();  // held to the end: no rename after this point
        for (const auto& path : files.paths) ::unlink(path.c_str());
        abandon_progress_line();
        ::_exit(128 + signal);
    }).detach();
}

}  // namespace orvessa::cli
