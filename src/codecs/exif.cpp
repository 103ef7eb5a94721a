#include "codecs/exif.hpp"

namespace orvessa::codecs {

int exif_orientation(Bytes t) noexcept {
    if (t.size() < 8) return 1;
    const bool little = t[0] == 'I' && t[1] == 'I';
    if (!little && !(t[0] == 'M' && t[1] == 'M')) return 1;
    const auto u16 = [&](std::size_t at) -> std::uint32_t {
        return little ? t[at] | t[at + 1] << 8 : t[at] << 8 | t[at + 1];
    };
    const auto u32 = [&](std::size_t at) -> std::uint32_t {
        return little ? u16(at) | u16(at + 2) << 16 : u16(at) << 16 | u16(at + 2);
    };
    if (u16(2) != 42) return 1;
    const std::uint64_t ifd = u32(4);
    if (ifd + 2 > t.size()) return 1;
    const std::uint32_t entries = u16(ifd);
    for (std::uint64_t i = 0, at = ifd + 2; i < entries && at + 12 <= t.size(); ++i, at += 12) {
        // SHORT, one value, held in the entry itself.
        if (u16(at) == 0x0112 && u16(at + 2) == 3 && u32(at + 4) == 1) {
            const std::uint32_t value = u16(at + 8);
            return value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
        }
    }
    return 1;
}

std::vector<std::uint8_t> exif_to_write(const PictureInfo& info) {
    if (!info.exif.empty()) return info.exif;
    if (info.orientation <= 1 || info.orientation > 8) return {};
    // Little-endian TIFF head, one directory of one entry, no next directory.
    return {'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0x12, 0x01, 3, 0, 1, 0, 0, 0,
            static_cast<std::uint8_t>(info.orientation), 0, 0, 0, 0, 0, 0, 0};
}

}  // namespace orvessa::codecs
