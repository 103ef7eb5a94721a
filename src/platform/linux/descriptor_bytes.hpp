// The codecs' sources and sinks over file descriptors: a source replays the
// first bytes that decided the format, then reads on (with pread where the
// file is regular); a sink writes every byte or raises the system's reason.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "codecs/picture_codec.hpp"

namespace orvessa::platform {

// Bytes looked at to decide a file's format.
constexpr std::size_t sniff_bytes = 4096;

class DescriptorSource : public codecs::ByteSource {
public:
    // Reads the first bytes at once. Raises Error (75, naming `name`) when
    // they cannot be read.
    DescriptorSource(int fd, std::string name);
    codecs::Bytes head() const noexcept { return head_; }

    std::size_t read(std::uint8_t* into, std::size_t size) override;
    std::optional<std::uint64_t> length() const override { return length_; }
    std::size_t read_at(std::uint64_t offset, std::uint8_t* into, std::size_t size) override;

private:
    int fd_;
    std::string name_;
    std::vector<std::uint8_t> head_;
    std::uint64_t at_ = 0;                  // the reading position
    std::optional<std::uint64_t> length_;  // a regular file's
};

// Raises Error::writing (75, naming `name`, with errno) when a write fails.
class DescriptorSink : public codecs::ByteSink {
public:
    DescriptorSink(int fd, std::string name);
    void write(const std::uint8_t* bytes, std::size_t size) override;
    bool seekable() const noexcept override { return seekable_; }
    void write_at(std::uint64_t offset, const std::uint8_t* bytes, std::size_t size) override;
    std::size_t read_at(std::uint64_t offset, std::uint8_t* into, std::size_t size) override;

private:
    int fd_;
    std::string name_;
    bool seekable_;
    std::uint64_t at_ = 0;
};

}  // namespace orvessa::platform
