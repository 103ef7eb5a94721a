// The picture conversion on the portable platform over any file bytes and
// any arguments: ColorToBN must neither crash nor raise, and what it paints
// is gray (128 to 255) or pure black and white, nowhere else than on the
// surface; the picture commands' read gives a buffer of the size it claims.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_input.hpp"
#include "orvessa/error.hpp"
#include "orvessa/pictava.hpp"
#include "orvessa/linux_platform.hpp"
#include "platform/linux/picture_reading.hpp"

namespace {

using namespace orvessa;

[[noreturn]] void finding(const char* what) {
    std::fprintf(stderr, "picture fuzz: %s\n", what);
    std::abort();
}

// The file the loader reads; one per process, rewritten for every input
// and removed at exit.
const char* picture_path() {
    static char name[] = "/tmp/orvessa-picture-fuzz-XXXXXX";
    static const bool made = [] {
        const int fd = ::mkstemp(name);
        if (fd < 0) finding("no temporary file");
        ::close(fd);
        std::atexit([] { ::unlink(name); });
        return true;
    }();
    (void)made;
    return name;
}

bool write_file(const std::string& path, const std::uint8_t* data, std::size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::FuzzInput in(data, size);
    const std::uint8_t flags = in.take<std::uint8_t>();
    const std::int16_t two_color = (flags & 1) != 0 ? -1 : 0;
    const std::int16_t hold = (flags & 2) != 0 ? static_cast<std::int16_t>(flags) : 0;
    const std::uint8_t threshold = in.take<std::uint8_t>();
    const std::int32_t box_width = in.take_int32();
    const std::int32_t box_height = in.take_int32();
    const int surface_width = in.take<std::uint8_t>();
    const int surface_height = in.take<std::uint8_t>();
    const std::string path = picture_path();
    if (!write_file(path, in.rest(), in.rest_size())) finding("cannot write the picture file");

    // Pictures that decode at more than a quarter million pixels are slow,
    // not wrong:
    // the fuzzer skips those under the loader's limit (those above it are
    // refused before decoding, and that refusal is exercised).
    try {
        const platform::UniqueFd file = platform::open_picture_file(path);
        const platform::OpenedPicture head(file.get(), path, max_picture_pixels);
        if (std::int64_t{head.info().width} * head.info().height > (1 << 18)) return -1;
    } catch (const Error&) {
    }

    const Surface surface(surface_width, surface_height, 0x123456);
    Pictava effects;
    const std::u16string name(path.begin(), path.end());
    const bool painted = effects.ColorToBN(name, surface.hdc(), 0, two_color, threshold, hold,
                                           box_width, box_height);
    for (int y = 0; y < surface_height; ++y) {
        for (int x = 0; x < surface_width; ++x) {
            const std::uint32_t p = surface.pixel(x, y);
            if (p == 0x123456) continue;
            if (!painted) finding("painted although the conversion failed");
            const std::uint32_t v = p & 0xFF;
            if (p != v * 0x010101) finding("a painted pixel is not gray");
            if (two_color != 0 ? v != 0 && v != 255 : v < 128) finding("a painted value out of range");
        }
    }
    if (painted && (effects.bitmap_info().header.width < 0 || effects.bitmap_info().header.height < 0)) {
        finding("a picture of negative size");
    }

    try {
        const Image image = read_picture_file(path);
        if (image.width <= 0 || image.height <= 0 ||
            image.pixels.size() != static_cast<std::size_t>(image.stride()) * image.height) {
            finding("the picture's buffer does not match its size");
        }
    } catch (const Error&) {
        // A refusal is a fine answer to a hostile file.
    }
    return 0;
}
