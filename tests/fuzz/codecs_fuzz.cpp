// Every picture format's reader over any bytes, the format decided from the
// bytes as the tool decides it: only the codecs' own failures may leave, the
// head says a size within the limit, and every row it promises comes or the
// picture is refused. Our BMP and icon decoder is also called directly.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "codecs/bmp_decoder.hpp"
#include "codecs/picture_codec.hpp"
#include "platform/linux/picture_formats.hpp"

namespace {

using namespace orvessa::codecs;

constexpr std::int64_t max_pixels = 1 << 16;

[[noreturn]] void finding(const char* what) {
    std::fprintf(stderr, "codecs fuzz: %s\n", what);
    std::abort();
}

void read_through(Bytes file) {
    const auto* format = orvessa::platform::format_of_bytes(file);
    if (format == nullptr || format->open == nullptr) return;
    MemorySource source(file);
    try {
        const auto reader = format->open(source, max_pixels);
        const PictureInfo& info = reader->info();
        const std::int64_t pixels = std::int64_t{info.width} * info.height;
        if (info.width <= 0 || info.height <= 0 || pixels > max_pixels) finding("a head of a size out of range");
        if (info.orientation < 1 || info.orientation > 8) finding("an orientation out of range");
        // Two rows at a time, the last call perhaps one.
        std::vector<std::uint8_t> rows(static_cast<std::size_t>(info.width) * 6);
        for (std::int32_t y = 0; y < info.height; y += 2) {
            reader->read_rows(rows.data(), info.width * 3, std::min(2, info.height - y));
        }
    } catch (const BadPicture&) {
    } catch (const TooLarge&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Bytes file(data, size);
    read_through(file);
    try {
        const RgbaImage p = decode_bmp(file, max_pixels);
        if (p.rgba.size() != static_cast<std::size_t>(p.width) * p.height * 4) finding("BMP pixels not the size");
    } catch (const BadPicture&) {
    } catch (const TooLarge&) {
    }
    return 0;
}
