#include "platform/linux/output_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <mutex>
#include <random>
#include <set>

namespace orvessa::platform {

namespace {

// A new file beside `base` with a name of its own; mode 0666 less the umask,
// which the kernel applies (umask() could only be read by setting it).
int create_unique(std::string& name, const std::string& base) {
    static constexpr char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::minstd_rand random(std::random_device{}());
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = base;
        for (int i = 0; i < 6; ++i) name += letters[random() % (sizeof letters - 1)];
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

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

std::string folder_of(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Devices and the kernel's files are written in place, never replaced.
bool system_file(std::string_view path) {
    return path.substr(0, 5) == "/dev/" || path.substr(0, 6) == "/proc/" || path.substr(0, 5) == "/sys/";
}

bool rename_into_place(const std::string& from, const std::string& to, ExistingOutput existing) {
    if (existing == ExistingOutput::replace) return ::rename(from.c_str(), to.c_str()) == 0;
    // Without replacing, a file that appeared meanwhile is not replaced either.
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    struct stat info {};
    if (::lstat(to.c_str(), &info) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::rename(from.c_str(), to.c_str()) == 0;
}

// A folder on the way that is missing is "file not found", as in reading.
Error write_error(const std::string& path, int err, const char* reason) {
    const ErrorNumber n = err == ENOENT || err == ENOTDIR ? ErrorNumber::file_not_found : ErrorNumber::file_access;
    return Error::writing(n, path, reason, err);
}

Error exists_error(const std::string& path) {
    return Error::writing(ErrorNumber::file_exists, path, "the file exists", EEXIST);
}

// Raises when OUT, as it now is, may not be written as asked.
void refuse_unwritable(const std::string& path, const Existing& e, ExistingOutput existing) {
    const auto cannot = [&](int err) {
        return write_error(path, err, std::strerror(err));
    };
    switch (e.kind) {
        case Kind::error: throw cannot(e.err);
        case Kind::folder: throw cannot(EISDIR);
        case Kind::regular:
            if (existing == ExistingOutput::refuse) throw exists_error(path);
            return;
        case Kind::missing:
        case Kind::special: return;
    }
}

}  // namespace

OutputFile::OutputFile(std::string path, ExistingOutput existing) : path_(std::move(path)), existing_(existing) {
    if (path_ == "-" || path_ == "/dev/stdout") {
        std::cout.flush();
        standard_output_ = true;
        return;
    }
    const Existing e = look_at(path_);
    if (!system_file(path_)) refuse_unwritable(path_, e, existing);
    if (e.kind == Kind::special || system_file(path_)) {
        // Without blocking: a FIFO that nobody reads is refused (ENXIO)
        // rather than waited on.
        fd_.reset(::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
        const int flags = fd_.get() < 0 ? -1 : ::fcntl(fd_.get(), F_GETFL);
        if (flags < 0 || ::fcntl(fd_.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) throw failure(errno);
        return;
    }
    replacing_ = e.kind == Kind::regular;
    kept_ = {e.info.st_mode, e.info.st_uid, e.info.st_gid};
    target_ = e.target;
    const std::string name = target_.substr(folder_of(target_).size());
    std::string temp;
    auto& files = unfinished();
    const std::lock_guard lock(files.mutex);
    fd_.reset(create_unique(temp, folder_of(target_) + "." + name.substr(0, NAME_MAX - 24) + ".orvessa-"));
    if (fd_.get() < 0) throw failure(errno);
    temp_ = temp;
    files.paths.insert(temp_);
}

OutputFile::~OutputFile() {
    if (temp_.empty()) return;
    auto& files = unfinished();
    const std::lock_guard lock(files.mutex);
    ::unlink(temp_.c_str());
    files.paths.erase(temp_);
}

Error OutputFile::failure(int err) const {
    return platform::write_error(path_, err, err == ENXIO ? "no process reads the FIFO" : std::strerror(err));
}

void OutputFile::write(std::span<const std::uint8_t> bytes) {
    if (const int err = write_all(fd(), bytes.data(), bytes.size())) throw failure(err);
}

void OutputFile::commit() {
    if (standard_output_) return;
    if (temp_.empty()) {
        if (!fd_.close()) throw failure(errno);
        return;
    }
    if (replacing_ && ::fchmod(fd_.get(), kept_.mode & 07777) != 0) throw failure(errno);
    // Only root may give the file back to another owner; others keep theirs.
    if (replacing_ && ::fchown(fd_.get(), kept_.uid, kept_.gid) != 0) errno = 0;
    // fsync is where a full disk shows up for writes the kernel held back.
    if (::fsync(fd_.get()) != 0 || !fd_.close()) throw failure(errno);
    {
        auto& files = unfinished();
        const std::lock_guard lock(files.mutex);
        if (!rename_into_place(temp_, target_, existing_)) {
            const int err = errno;
            throw err == EEXIST ? exists_error(path_) : failure(err);
        }
        files.paths.erase(temp_);
        temp_.clear();
    }
    // The rename itself reaches the disk with the folder.
    const std::string folder = folder_of(target_);
    const UniqueFd dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) ::fsync(dir.get());
}

bool output_is_regular_file(const std::string& path) {
    return path != "-" && !system_file(path) && look_at(path).kind == Kind::regular;
}

void check_output_target(const std::string& path, ExistingOutput existing) {
    if (path == "-" || system_file(path)) return;
    refuse_unwritable(path, look_at(path), existing);
}

void remove_unfinished_temporaries() {
    auto& files = unfinished();
    files.mutex.lock();  // held to the end: no rename after this point
    for (const auto& path : files.paths) ::unlink(path.c_str());
}

}  // namespace orvessa::platform
