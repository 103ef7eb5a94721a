#include "platform/linux/descriptor_bytes.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "orvessa/error.hpp"
#include "platform/linux/unique_fd.hpp"

namespace orvessa::platform {

namespace {

Error read_failure(const std::string& name, int err) {
    return Error::reading(ErrorNumber::file_access, name, std::strerror(err), err);
}

bool regular(int fd, std::uint64_t& size) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return false;
    size = static_cast<std::uint64_t>(info.st_size);
    return true;
}

}  // namespace

DescriptorSource::DescriptorSource(int fd, std::string name) : fd_(fd), name_(std::move(name)) {
    if (std::uint64_t size = 0; regular(fd_, size)) length_ = size;
    head_.resize(sniff_bytes);
    std::size_t got = 0;
    while (got < head_.size()) {
        const ssize_t n = length_ ? ::pread(fd_, head_.data() + got, head_.size() - got, static_cast<off_t>(got))
                                  : read_some(fd_, head_.data() + got, head_.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw read_failure(name_, errno);
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    head_.resize(got);
}

std::size_t DescriptorSource::read(std::uint8_t* into, std::size_t size) {
    std::size_t done = 0;
    if (at_ < head_.size()) {
        done = std::min<std::size_t>(size, head_.size() - at_);
        std::memcpy(into, head_.data() + at_, done);
    }
    if (done < size && at_ + done >= head_.size()) {
        if (length_) {
            done += read_at(at_ + done, into + done, size - done);
        } else {
            while (done < size) {
                const ssize_t n = read_some(fd_, into + done, size - done);
                if (n < 0) throw read_failure(name_, errno);
                if (n == 0) break;
                done += static_cast<std::size_t>(n);
            }
        }
    }
    at_ += done;
    return done;
}

std::size_t DescriptorSource::read_at(std::uint64_t offset, std::uint8_t* into, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd_, into + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw read_failure(name_, errno);
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

DescriptorSink::DescriptorSink(int fd, std::string name) : fd_(fd), name_(std::move(name)) {
    std::uint64_t size = 0;
    seekable_ = regular(fd_, size) && ::lseek(fd_, 0, SEEK_CUR) == 0;
}

void DescriptorSink::write(const std::uint8_t* bytes, std::size_t size) {
    if (seekable_) return write_at(std::exchange(at_, at_ + size), bytes, size);
    if (const int err = write_all(fd_, bytes, size)) throw Error::writing(ErrorNumber::file_access, name_, std::strerror(err), err);
}

void DescriptorSink::write_at(std::uint64_t offset, const std::uint8_t* bytes, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(fd_, bytes + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        const int err = n < 0 ? errno : n == 0 ? EIO : 0;
        if (err != 0) throw Error::writing(ErrorNumber::file_access, name_, std::strerror(err), err);
        done += static_cast<std::size_t>(n);
    }
}

std::size_t DescriptorSink::read_at(std::uint64_t offset, std::uint8_t* into, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd_, into + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw Error::writing(ErrorNumber::file_access, name_, std::strerror(errno), errno);
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

}  // namespace orvessa::platform
