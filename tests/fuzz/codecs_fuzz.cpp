// The BMP and icon decoder over any bytes: only BadPicture and TooLarge may
// leave it, a picture comes out the size it says and within the limit, and
// a BMP that decodes is one that is_bmp recognises.
#include <cstdio>
#include <cstdlib>

#include "codecs/bmp_decoder.hpp"

namespace {

using namespace orvessa::codecs;

constexpr std::int64_t max_pixels = 1 << 16;

[[noreturn]] void finding(const char* what) {
    std::fprintf(stderr, "codecs fuzz: %s\n", what);
    std::abort();
}

void check(const RgbaPicture& p) {
    const std::int64_t pixels = std::int64_t{p.width} * p.height;
    if (p.width <= 0 || p.height <= 0 || pixels > max_pixels) finding("a picture of a size out of range");
    if (p.rgba.size() != static_cast<std::size_t>(pixels) * 4) finding("the pixels do not match the size");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Bytes file(data, size);
    const bool bmp = is_bmp(file);
    (void)is_icon(file);
    // The PNG decoder stands in: a 1 x 1 picture, or a refusal for odd sizes.
    const PngDecoder png = [](Bytes b) {
        if (b.size() % 2 != 0) throw BadPicture("not decoded");
        return RgbaPicture{1, 1, {0, 0, 0, 255}};
    };
    try {
        check(decode_bmp(file, max_pixels));
        if (!bmp) finding("a BMP decoded that is_bmp refuses");
    } catch (const BadPicture&) {
    } catch (const TooLarge&) {
    }
    try {
        check(decode_icon(file, max_pixels, png));
    } catch (const BadPicture&) {
    } catch (const TooLarge&) {
    }
    return 0;
}
