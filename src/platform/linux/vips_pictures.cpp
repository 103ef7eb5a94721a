#include "platform/linux/vips_pictures.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "orvessa/error.hpp"

namespace orvessa::platform {

namespace {

constexpr std::int32_t file_not_found = control_hresult(53);
constexpr std::int32_t file_access_error = control_hresult(75);
constexpr std::int32_t invalid_picture = control_hresult(481);
constexpr std::int32_t picture_too_large = control_hresult(7);

// The loaders of the formats read here. ImageMagick's reads BMP and ICO,
// which libvips has no loader of its own for; it is only handed bytes that
// start as those do (see magick_kind).
constexpr const char* allowed_loaders[] = {
    "VipsForeignLoadJpeg", "VipsForeignLoadPng",  "VipsForeignLoadNsgif", "VipsForeignLoadTiff",
    "VipsForeignLoadWebp", "VipsForeignLoadSvg",  "VipsForeignLoadPpm",   "VipsForeignLoadMagick",
};

Error open_error(const std::string& path, int err) {
    const std::int32_t code = err == ENOENT || err == ENOTDIR ? file_not_found : file_access_error;
    return Error::platform(code, path + ": " + std::strerror(err));
}

Error too_large(const std::string& name, std::int64_t width, std::int64_t height,
                std::int64_t max_pixels) {
    return Error::platform(picture_too_large,
                           name + ": the picture is " + std::to_string(width) + " x " +
                               std::to_string(height) + " pixels, more than the limit of " +
                               std::to_string(max_pixels) + " pixels");
}

Error invalid(const std::string& name) {
    const std::string why = vips_failure();
    return Error::platform(invalid_picture, name + ": " + (why.empty() ? "not a picture" : why));
}

std::uint32_t le32(const std::uint8_t* p) noexcept {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// BMP and ICO/CUR files, which go to ImageMagick whole; it decodes them as
// it reads their head, so a BMP's declared size is checked here first.
enum class MagickKind { none, bmp, icon };

MagickKind magick_kind(const unsigned char* head, std::size_t size) noexcept {
    if (size >= 2 && head[0] == 'B' && head[1] == 'M') return MagickKind::bmp;
    if (size >= 4 && head[0] == 0 && head[1] == 0 && (head[2] == 1 || head[2] == 2) && head[3] == 0) {
        return MagickKind::icon;
    }
    return MagickKind::none;
}

void check_bmp_size(const std::vector<std::uint8_t>& bytes, const std::string& name,
                    std::int64_t max_pixels) {
    if (bytes.size() < 26) throw Error::platform(invalid_picture, name + ": a BMP file's head is cut short");
    const std::uint32_t header = le32(&bytes[14]);
    std::int64_t width, height;
    if (header == 12) {  // the OS/2 head: 16-bit sizes
        width = bytes[18] | bytes[19] << 8;
        height = bytes[20] | bytes[21] << 8;
    } else {
        width = static_cast<std::int32_t>(le32(&bytes[18]));
        height = static_cast<std::int32_t>(le32(&bytes[22]));
    }
    width = width < 0 ? -width : width;
    height = height < 0 ? -height : height;
    if (width * height > max_pixels) throw too_large(name, width, height, max_pixels);
}

std::shared_ptr<std::vector<std::uint8_t>> read_source(VipsSource* source, const std::string& name) {
    auto bytes = std::make_shared<std::vector<std::uint8_t>>();
    // Back to the first byte, which the sniffing read.
    if (vips_source_rewind(source) != 0) throw Error::platform(file_access_error, name + ": " + vips_failure());
    std::uint8_t chunk[64 * 1024];
    for (;;) {
        const gint64 got = vips_source_read(source, chunk, sizeof chunk);
        if (got < 0) throw Error::platform(file_access_error, name + ": " + vips_failure());
        if (got == 0) return bytes;
        bytes->insert(bytes->end(), chunk, chunk + got);
    }
}

// 8-bit R, G, B and maybe alpha, whatever the file held: gray, 16-bit and
// paletted pictures as the decoders give them, 16-bit samples cut to their
// high byte.
VipsImagePtr eight_bit_rgb(VipsImage* in, const std::string& name) {
    VipsImage* srgb = nullptr;
    if (vips_colourspace(in, &srgb, VIPS_INTERPRETATION_sRGB, nullptr) != 0) throw invalid(name);
    VipsImagePtr out(srgb);
    if (out->BandFmt != VIPS_FORMAT_UCHAR) {
        VipsImage* cast = nullptr;
        if (vips_cast_uchar(out.get(), &cast, nullptr) != 0) throw invalid(name);
        out.reset(cast);
    }
    if (out->Bands < 3) throw Error::platform(invalid_picture, name + ": unsupported pixel format");
    return out;
}

// A step of a stream: the output region's rows from the input's rows,
// widened by a row above and below where the step needs them.
using RowsStep = void (*)(VipsRegion* in, VipsRegion* out, const void* how);

struct StepKind {
    RowsStep step;
    int margin;
    const void* how;
};

int generate_rows(VipsRegion* out, void* seq, void* a, void* b, gboolean*) {
    auto* in = static_cast<VipsRegion*>(seq);
    const auto* image = static_cast<VipsImage*>(a);
    const auto& kind = *static_cast<const StepKind*>(b);
    const VipsRect& r = out->valid;
    VipsRect need{0, std::max(0, r.top - kind.margin), image->Xsize, 0};
    need.height = std::min(image->Ysize, r.top + r.height + kind.margin) - need.top;
    if (vips_region_prepare(in, &need) != 0) return -1;
    // No exception leaves for libvips' C code; it hears of a failure by -1.
    try {
        kind.step(in, out, kind.how);
    } catch (const std::bad_alloc&) {
        vips_error("orvessa", "out of memory");
        return -1;
    } catch (const Error& e) {
        vips_error("orvessa", "%s", e.description().c_str());
        return -1;
    }
    return 0;
}

VipsImagePtr stream_step(VipsImage* in, int bands, const StepKind& kind) {
    VipsImagePtr out(vips_image_new());
    if (vips_image_pipelinev(out.get(), VIPS_DEMAND_STYLE_THINSTRIP, in, nullptr) != 0) {
        throw Error::platform(invalid_picture, vips_failure());
    }
    out->Bands = bands;
    // The output keeps its input alive.
    g_object_ref(in);
    vips_object_local(out.get(), in);
    if (vips_image_generate(out.get(), vips_start_one, generate_rows, vips_stop_one, in,
                            const_cast<StepKind*>(&kind)) != 0) {
        throw Error::platform(invalid_picture, vips_failure());
    }
    return out;
}

std::uint8_t over_white(std::uint8_t value, std::uint8_t alpha) noexcept {
    return static_cast<std::uint8_t>((value * alpha + 255 * (255 - alpha) + 127) / 255);
}

// R, G, B, alpha (and any further bands) to R, G, B over white.
void flatten_rows(VipsRegion* in, VipsRegion* out, const void*) {
    const VipsRect& r = out->valid;
    const int bands = in->im->Bands;
    for (int y = r.top; y < r.top + r.height; ++y) {
        const auto* p = reinterpret_cast<const std::uint8_t*>(VIPS_REGION_ADDR(in, r.left, y));
        auto* q = reinterpret_cast<std::uint8_t*>(VIPS_REGION_ADDR(out, r.left, y));
        for (int x = 0; x < r.width; ++x, p += bands, q += 3) {
            for (int b = 0; b < 3; ++b) q[b] = over_white(p[b], p[3]);
        }
    }
}
constexpr StepKind flatten_kind{flatten_rows, 0, nullptr};

// Rows of the picture that the filters change: 1 .. height - 3 from the top.
void filter_rows(VipsRegion* in, VipsRegion* out, const void* how) {
    const PixelFilter filter = *static_cast<const PixelFilter*>(how);
    const VipsRect& r = out->valid;
    const int width = in->im->Xsize, height = in->im->Ysize;
    const std::size_t row_bytes = static_cast<std::size_t>(width) * 3;
    const int first = std::max(r.top, 1), last = std::min(r.top + r.height - 1, height - 3);
    // The filter writes whole rows; a narrower region gets them through rows of its own.
    const bool whole_rows = r.left == 0 && r.width == width;
    std::vector<std::uint8_t> spare;
    std::uint8_t* dest = nullptr;
    std::ptrdiff_t dest_step = static_cast<std::ptrdiff_t>(row_bytes);
    if (whole_rows) {
        dest = reinterpret_cast<std::uint8_t*>(VIPS_REGION_ADDR(out, 0, r.top));
        dest_step = static_cast<std::ptrdiff_t>(VIPS_REGION_LSKIP(out));
    } else {
        spare.resize(row_bytes * static_cast<std::size_t>(r.height));
        dest = spare.data();
    }
    auto dest_row = [&](int y) { return dest + (y - r.top) * dest_step; };
    for (int y = r.top; y < r.top + r.height; ++y) {
        if (y < first || y > last) {
            std::memcpy(dest_row(y), VIPS_REGION_ADDR(in, 0, y), row_bytes);
        }
    }
    if (first <= last) {
        // Rows numbered from first - 1, so that no pointer lies outside the regions.
        const PixelRows from{reinterpret_cast<std::uint8_t*>(VIPS_REGION_ADDR(in, 0, first - 1)),
                             static_cast<std::ptrdiff_t>(VIPS_REGION_LSKIP(in))};
        const PixelRows to{dest_row(first) - dest_step, dest_step};
        filter_pixel_rows(filter, from, to, width, 1, last - first + 1);
    }
    if (!whole_rows) {
        for (int y = r.top; y < r.top + r.height; ++y) {
            std::memcpy(VIPS_REGION_ADDR(out, r.left, y), dest_row(y) + 3 * r.left,
                        static_cast<std::size_t>(r.width) * 3);
        }
    }
}
constexpr PixelFilter blur_filter = PixelFilter::blur;
constexpr PixelFilter smooth_filter = PixelFilter::smooth;
constexpr StepKind blur_kind{filter_rows, 1, &blur_filter};
constexpr StepKind smooth_kind{filter_rows, 1, &smooth_filter};

}  // namespace

void start_vips() {
    static const bool started = [] {
        if (VIPS_INIT("orvessa") != 0) return false;
        // Failures reach the caller through the error buffer; libvips'
        // warnings on stderr would only repeat them.
        g_log_set_handler("VIPS", G_LOG_LEVEL_WARNING, [](const gchar*, GLogLevelFlags, const gchar*, gpointer) {},
                          nullptr);
        // Each picture is read once: cached operations would only hold memory.
        vips_cache_set_max(0);
        vips_operation_block_set("VipsForeignLoad", TRUE);
        for (const char* loader : allowed_loaders) vips_operation_block_set(loader, FALSE);
        return true;
    }();
    if (!started) throw Error::platform(invalid_picture, "the picture library cannot start: " + vips_failure());
}

std::string vips_failure() {
    std::string text = vips_error_buffer();
    vips_error_clear();
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    // Several lines of libvips' trail; the first one is the cause.
    return text.substr(0, text.find('\n'));
}

UniqueFd open_picture_file(const std::string& path) {
    // Opened without blocking, so that a FIFO or a device cannot hold the
    // call; only a regular file is then read.
    UniqueFd file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (file.get() < 0) throw open_error(path, errno);
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) throw open_error(path, errno);
    if (S_ISDIR(info.st_mode)) throw Error::platform(file_access_error, path + ": is a directory");
    if (!S_ISREG(info.st_mode)) {
        throw Error::platform(file_access_error, path + ": is not a regular file");
    }
    // A file that cannot be read at all (some files under /proc) says so now.
    char first = 0;
    if (::pread(file.get(), &first, 1, 0) < 0) throw open_error(path, errno);
    return file;
}

PictureSource open_picture(int fd, const std::string& name, std::int64_t max_pixels) {
    start_vips();
    const std::unique_ptr<VipsSource, GObjectUnref> source(vips_source_new_from_descriptor(fd));
    if (!source) throw Error::platform(file_access_error, name + ": " + vips_failure());
    unsigned char* head = nullptr;
    const gint64 head_size = vips_source_sniff_at_most(source.get(), &head, 4);
    if (head_size < 0) throw Error::platform(file_access_error, name + ": " + vips_failure());
    if (head_size < 4) throw Error::platform(invalid_picture, name + ": not a picture");
    PictureSource picture;
    VipsImage* loaded = nullptr;
    const MagickKind kind = magick_kind(head, 4);
    if (kind != MagickKind::none) {
        picture.bytes = read_source(source.get(), name);
        if (kind == MagickKind::bmp) check_bmp_size(*picture.bytes, name, max_pixels);
        loaded = vips_image_new_from_buffer(picture.bytes->data(), picture.bytes->size(), "",
                                            "fail_on", VIPS_FAIL_ON_ERROR, nullptr);
    } else {
        loaded = vips_image_new_from_source(source.get(), "", "access", VIPS_ACCESS_SEQUENTIAL,
                                            "fail_on", VIPS_FAIL_ON_ERROR, nullptr);
    }
    if (loaded == nullptr) throw invalid(name);
    VipsImagePtr image(loaded);
    const char* loader = nullptr;
    if (vips_image_get_string(image.get(), "vips-loader", &loader) != 0) vips_error_clear();
    // Only BMP and ICO bytes may reach ImageMagick, whatever it recognises.
    if (loader != nullptr && std::strncmp(loader, "magick", 6) == 0 && kind == MagickKind::none) {
        throw Error::platform(invalid_picture, name + ": not a picture of a format read here");
    }
    const std::int64_t width = image->Xsize, height = image->Ysize;
    if (width * height > max_pixels) throw too_large(name, width, height, max_pixels);
    picture.rgb = eight_bit_rgb(image.get(), name);
    if (picture.rgb->Bands > 3) picture.rgb = stream_step(picture.rgb.get(), 3, flatten_kind);
    picture.rgb->Type = VIPS_INTERPRETATION_sRGB;
    return picture;
}

void read_picture_rows(VipsImage* rgb, const std::string& name,
                       const std::function<void(std::int32_t, const std::uint8_t*)>& row) {
    const std::unique_ptr<VipsRegion, GObjectUnref> region(vips_region_new(rgb));
    // A strip at a time, top to bottom, as a sequential decoder wants.
    constexpr int strip = 64;
    for (int top = 0; top < rgb->Ysize; top += strip) {
        const VipsRect rect{0, top, rgb->Xsize, std::min(strip, rgb->Ysize - top)};
        if (vips_region_prepare(region.get(), &rect) != 0) throw invalid(name);
        for (int y = top; y < top + rect.height; ++y) {
            row(y, reinterpret_cast<const std::uint8_t*>(VIPS_REGION_ADDR(region.get(), 0, y)));
        }
    }
}

DecodedPicture decode_picture_file(const std::string& path, std::int64_t max_pixels) {
    const UniqueFd file = open_picture_file(path);
    const PictureSource picture = open_picture(file.get(), path, max_pixels);
    DecodedPicture decoded;
    decoded.width = picture.rgb->Xsize;
    decoded.height = picture.rgb->Ysize;
    try {
        decoded.bgr.resize(static_cast<std::size_t>(decoded.width) * 3 * decoded.height);
    } catch (const std::bad_alloc&) {
        throw Error::out_of_memory();
    }
    const std::size_t row_bytes = static_cast<std::size_t>(decoded.width) * 3;
    read_picture_rows(picture.rgb.get(), path, [&](std::int32_t y, const std::uint8_t* rgb) {
        std::uint8_t* bgr = decoded.bgr.data() + static_cast<std::size_t>(y) * row_bytes;
        for (std::size_t i = 0; i < row_bytes; i += 3) {
            bgr[i] = rgb[i + 2];
            bgr[i + 1] = rgb[i + 1];
            bgr[i + 2] = rgb[i];
        }
    });
    return decoded;
}

VipsImagePtr filtered_picture(VipsImage* rgb, PixelFilter filter) {
    return stream_step(rgb, 3, filter == PixelFilter::blur ? blur_kind : smooth_kind);
}

VipsImagePtr picture_of_rows(const std::uint8_t* rgb, std::int32_t width, std::int32_t height) {
    start_vips();
    VipsImage* image = vips_image_new_from_memory(rgb, static_cast<std::size_t>(width) * 3 * height,
                                                  width, height, 3, VIPS_FORMAT_UCHAR);
    if (image == nullptr) throw Error::platform(file_access_error, vips_failure());
    image->Type = VIPS_INTERPRETATION_sRGB;
    return VipsImagePtr(image);
}

}  // namespace orvessa::platform
