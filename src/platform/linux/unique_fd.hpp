// Owns a POSIX file descriptor: closed when the owner goes, or earlier by
// close(), whose result a writer must check.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <utility>

namespace orvessa::platform {

// The one loop of writes: every byte, on after an interruption; 0, or the
// errno of the failure.
inline int write_all(int fd, const void* data, std::size_t size) noexcept {
    const auto* next = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const ssize_t put = ::write(fd, next, size);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return put < 0 ? errno : EIO;
        next += put;
        size -= static_cast<std::size_t>(put);
    }
    return 0;
}

// A read, on after an interruption: the count (0 at the end), or -1 with errno.
inline ssize_t read_some(int fd, void* data, std::size_t size) noexcept {
    ssize_t got;
    do {
        got = ::read(fd, data, size);
    } while (got < 0 && errno == EINTR);
    return got;
}

class UniqueFd {
public:
    explicit UniqueFd(int fd) noexcept : fd_(fd) {}
    ~UniqueFd() {
        if (fd_ >= 0) ::close(fd_);
    }
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const noexcept { return fd_; }
    void reset(int fd) noexcept {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    bool close() noexcept { return ::close(std::exchange(fd_, -1)) == 0; }

private:
    int fd_;
};

}  // namespace orvessa::platform
