#include "codecs/picture_codec.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace orvessa::codecs {

void check_size(std::int64_t width, std::int64_t height, std::int64_t max_pixels) {
    if (width <= 0 || height <= 0) throw BadPicture("the picture has no pixels");
    // Compared one side at a time first, so that the product cannot overflow.
    if (width > max_pixels || height > max_pixels || width * height > max_pixels) throw TooLarge{width, height};
    if (width > INT32_MAX / 4 || height > INT32_MAX) throw TooLarge{width, height};
}

std::size_t MemorySource::read(std::uint8_t* into, std::size_t size) {
    const std::size_t n = read_at(at_, into, size);
    at_ += n;
    return n;
}

std::size_t MemorySource::read_at(std::uint64_t offset, std::uint8_t* into, std::size_t size) {
    if (offset >= bytes_.size()) return 0;
    const std::size_t n = std::min<std::uint64_t>(size, bytes_.size() - offset);
    std::memcpy(into, bytes_.data() + offset, n);
    return n;
}

void MemorySink::write(const std::uint8_t* bytes, std::size_t size) { bytes_.insert(bytes_.end(), bytes, bytes + size); }

void MemorySink::write_at(std::uint64_t offset, const std::uint8_t* bytes, std::size_t size) {
    if (offset + size > bytes_.size()) bytes_.resize(offset + size);
    std::memcpy(bytes_.data() + offset, bytes, size);
}

std::size_t MemorySink::read_at(std::uint64_t offset, std::uint8_t* into, std::size_t size) {
    if (offset >= bytes_.size()) return 0;
    const std::size_t n = std::min<std::uint64_t>(size, bytes_.size() - offset);
    std::memcpy(into, bytes_.data() + offset, n);
    return n;
}

}  // namespace orvessa::codecs
