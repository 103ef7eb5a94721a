// What every picture codec shares: where a reader takes its bytes and a
// writer puts them, what a picture says of itself beside its pixels, and the
// two faces of a codec. A reader gives rows of 8-bit R, G, B, top first, in
// order; a writer takes them so. Neither ever holds the whole picture unless
// its format needs it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <vector>

namespace orvessa::codecs {

using Bytes = std::span<const std::uint8_t>;

// A file that is not a well-formed picture of its format; what() is a short
// reason in plain words, never a path.
class BadPicture : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A picture the format cannot hold (too large, say); what() says why.
class CannotWrite : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The declared size exceeds the caller's limit; thrown before any pixel
// memory is allocated.
struct TooLarge {
    std::int64_t width, height;
};

// Raises TooLarge beyond max_pixels and BadPicture for an empty picture or
// rows of more than 2^31 - 1 bytes.
void check_size(std::int64_t width, std::int64_t height, std::int64_t max_pixels);

// The bytes of a file from its first. Whatever a source throws for a system
// failure leaves the codec as it was thrown.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Up to `size` bytes from the reading position; fewer only at the end.
    virtual std::size_t read(std::uint8_t* into, std::size_t size) = 0;
    // The file's length where reads at any offset work (a regular file,
    // memory); nothing for a pipe.
    virtual std::optional<std::uint64_t> length() const = 0;
    // Only where length() is known; does not move the reading position.
    virtual std::size_t read_at(std::uint64_t offset, std::uint8_t* into, std::size_t size) = 0;
};

// Bytes in memory, which must outlive the source.
class MemorySource : public ByteSource {
public:
    explicit MemorySource(Bytes bytes) noexcept : bytes_(bytes) {}
    std::size_t read(std::uint8_t* into, std::size_t size) override;
    std::optional<std::uint64_t> length() const override { return bytes_.size(); }
    std::size_t read_at(std::uint64_t offset, std::uint8_t* into, std::size_t size) override;

private:
    Bytes bytes_;
    std::size_t at_ = 0;
};

// Where a writer's bytes go. Whatever a sink throws for a system failure
// leaves the codec as it was thrown.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    // At the writing position, which moves past them.
    virtual void write(const std::uint8_t* bytes, std::size_t size) = 0;
    // A regular file can be written and read back at any offset.
    virtual bool seekable() const noexcept = 0;
    virtual void write_at(std::uint64_t offset, const std::uint8_t* bytes, std::size_t size) = 0;
    virtual std::size_t read_at(std::uint64_t offset, std::uint8_t* into, std::size_t size) = 0;
};

// Bytes gathered in memory (a seekable sink).
class MemorySink : public ByteSink {
public:
    void write(const std::uint8_t* bytes, std::size_t size) override;
    bool seekable() const noexcept override { return true; }
    void write_at(std::uint64_t offset, const std::uint8_t* bytes, std::size_t size) override;
    std::size_t read_at(std::uint64_t offset, std::uint8_t* into, std::size_t size) override;
    std::vector<std::uint8_t>& bytes() noexcept { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
};

// What a picture says of itself beside its pixels; the writers keep it.
struct PictureInfo {
    std::int32_t width = 0, height = 0;
    int orientation = 1;  // 1 to 8 as EXIF numbers them; 1: stored upright
    double x_pixels_per_metre = 0, y_pixels_per_metre = 0;  // 0: not given
    std::vector<std::uint8_t> icc;   // the colour profile of an RGB picture
    std::vector<std::uint8_t> exif;  // the EXIF block, TIFF bytes from "II*\0" or "MM\0*"
};

class PictureReader {
public:
    virtual ~PictureReader() = default;
    const PictureInfo& info() const noexcept { return info_; }
    // The next `count` rows, top first: 3 * width bytes R, G, B each,
    // `step` apart, transparent parts laid over white. Raises BadPicture
    // where the pixels prove cut short or corrupt.
    virtual void read_rows(std::uint8_t* rgb, std::ptrdiff_t step, std::int32_t count) = 0;

protected:
    PictureInfo info_;
};

class PictureWriter {
public:
    virtual ~PictureWriter() = default;
    // `count` rows of R, G, B, `step` apart, following the rows before.
    virtual void write_rows(const std::uint8_t* rgb, std::ptrdiff_t step, std::int32_t count) = 0;
    // After the last row: the file completed.
    virtual void finish() = 0;
};

// A sample of colour laid over white by its alpha.
constexpr std::uint8_t over_white(std::uint8_t value, std::uint8_t alpha) noexcept {
    return static_cast<std::uint8_t>((value * alpha + 255 * (255 - alpha) + 127) / 255);
}

}  // namespace orvessa::codecs
