#include "platform/linux/vips_pictures.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "orvessa/error.hpp"
#include "platform/linux/picture_formats.hpp"

namespace orvessa::platform {

namespace {

// The loaders of the formats read here (picture_formats.cpp); every other
// loader libvips has stays blocked.
constexpr const char* allowed_loaders[] = {
    "VipsForeignLoadJpeg", "VipsForeignLoadPng", "VipsForeignLoadNsgif", "VipsForeignLoadTiff",
    "VipsForeignLoadWebp", "VipsForeignLoadSvg", "VipsForeignLoadPpm",
};

Error open_error(const std::string& path, int err) {
    const ErrorNumber n = err == ENOENT || err == ENOTDIR ? ErrorNumber::file_not_found : ErrorNumber::file_access;
    return Error::reading(n, path, std::strerror(err), err);
}

Error too_large(const std::string& name, std::int64_t width, std::int64_t height, std::int64_t max_pixels) {
    return Error::reading(ErrorNumber::out_of_memory, name,
                          "the picture is " + std::to_string(width) + " x " + std::to_string(height) +
                              " pixels, more than the limit of " + std::to_string(max_pixels) + " pixels");
}

Error invalid(const std::string& name, const std::string& reason) {
    return Error::reading(ErrorNumber::invalid_picture, name, reason);
}

Error corrupt(const std::string& name, std::string_view format, const std::string& why) {
    return invalid(name, "the " + std::string(format) + " picture is cut short or corrupt" + (why.empty() ? "" : ": " + why));
}

std::shared_ptr<std::vector<std::uint8_t>> read_source(VipsSource* source, const std::string& name) {
    auto bytes = std::make_shared<std::vector<std::uint8_t>>();
    // Back to the first byte, which the sniffing read.
    if (vips_source_rewind(source) != 0) throw Error::reading(ErrorNumber::file_access, name, vips_failure());
    std::uint8_t chunk[64 * 1024];
    for (;;) {
        const gint64 got = vips_source_read(source, chunk, sizeof chunk);
        if (got < 0) throw Error::reading(ErrorNumber::file_access, name, vips_failure());
        if (got == 0) return bytes;
        bytes->insert(bytes->end(), chunk, chunk + got);
    }
}

// 8-bit R, G, B and maybe alpha, whatever the file held: gray, 16-bit and
// paletted pictures as the decoders give them, 16-bit samples cut to their
// high byte.
VipsImagePtr eight_bit_rgb(VipsImage* in, const std::string& name) {
    VipsImage* srgb = nullptr;
    if (vips_colourspace(in, &srgb, VIPS_INTERPRETATION_sRGB, nullptr) != 0) throw invalid(name, vips_failure());
    VipsImagePtr out(srgb);
    if (out->BandFmt != VIPS_FORMAT_UCHAR) {
        VipsImage* cast = nullptr;
        if (vips_cast_uchar(out.get(), &cast, nullptr) != 0) throw invalid(name, vips_failure());
        out.reset(cast);
    }
    if (out->Bands < 3) throw invalid(name, "an unusual pixel format");
    return out;
}

// A step of a stream: the output region's rows from the input's rows,
// widened by a row above and below where the step needs them.
using RowsStep = void (*)(VipsRegion* in, VipsRegion* out, const void* how);

struct StepKind {
    RowsStep step;
    int margin;
    const void* how;
    DecodeCheck* check = nullptr;  // where a failure is kept (libvips may lose it)
};

int generate_rows(VipsRegion* out, void* seq, void* a, void* b, gboolean*) {
    auto* in = static_cast<VipsRegion*>(seq);
    const auto* image = static_cast<VipsImage*>(a);
    const auto& kind = *static_cast<const StepKind*>(b);
    const VipsRect& r = out->valid;
    VipsRect need{0, std::max(0, r.top - kind.margin), image->Xsize, 0};
    need.height = std::min(image->Ysize, r.top + r.height + kind.margin) - need.top;
    if (vips_region_prepare(in, &need) != 0) return -1;  // kept by the step that failed
    // No exception leaves for libvips' C code; it hears of a failure by -1.
    std::string failure;
    try {
        kind.step(in, out, kind.how);
        return 0;
    } catch (const std::bad_alloc&) {
        failure = "out of memory";
    } catch (const Error& e) {
        failure = e.description();
    }
    vips_error("orvessa", "%s", failure.c_str());
    if (kind.check != nullptr) kind.check->failed(failure);
    return -1;
}

VipsImagePtr new_step(VipsImage* in, int bands) {
    VipsImagePtr out(vips_image_new());
    if (vips_image_pipelinev(out.get(), VIPS_DEMAND_STYLE_THINSTRIP, in, nullptr) != 0) {
        throw Error::of(ErrorNumber::out_of_memory, vips_failure());
    }
    out->Bands = bands;
    // The output keeps its input alive.
    g_object_ref(in);
    vips_object_local(out.get(), in);
    return out;
}

VipsImagePtr stream_step(VipsImage* in, int bands, const StepKind& how, DecodeCheck* check) {
    VipsImagePtr out = new_step(in, bands);
    // The image owns its step, which names the stream's check.
    auto* kind = new StepKind(how);
    kind->check = check;
    g_object_set_data_full(G_OBJECT(out.get()), "orvessa-step", kind,
                           [](gpointer p) { delete static_cast<StepKind*>(p); });
    if (vips_image_generate(out.get(), vips_start_one, generate_rows, vips_stop_one, in, kind) != 0) {
        throw Error::of(ErrorNumber::out_of_memory, vips_failure());
    }
    return out;
}

// The decoder's strips on their way out, each marked in the picture's check.
int watch_rows(VipsRegion* out, void* seq, void*, void* b, gboolean*) {
    auto* in = static_cast<VipsRegion*>(seq);
    auto& check = *static_cast<DecodeCheck*>(b);
    const VipsRect r = out->valid;
    if (vips_region_prepare(in, &r) != 0 || vips_region_region(out, in, &r, r.left, r.top) != 0) {
        const char* why = vips_error_buffer();
        check.failed("the picture is cut short or corrupt: " + std::string(why, std::strcspn(why, "\n")));
        return -1;
    }
    check.delivered(r.top, r.height);
    return 0;
}

VipsImagePtr watched(VipsImage* decoded, const std::shared_ptr<DecodeCheck>& check) {
    VipsImagePtr out = new_step(decoded, decoded->Bands);
    // The image keeps the check alive as long as it may generate rows.
    g_object_set_data_full(G_OBJECT(out.get()), "orvessa-check", new std::shared_ptr<DecodeCheck>(check),
                           [](gpointer p) { delete static_cast<std::shared_ptr<DecodeCheck>*>(p); });
    if (vips_image_generate(out.get(), vips_start_one, watch_rows, vips_stop_one, decoded, check.get()) != 0) {
        throw Error::of(ErrorNumber::out_of_memory, vips_failure());
    }
    return out;
}

// WebP's loader decodes the whole picture when it starts, through a sink of
// its own whose failure libvips may lose between threads: it starts here,
// on one thread. The threads setting is the process's, so it is changed
// only under this lock (set_picture_threads takes it too).
std::mutex& threads_setting() {
    static std::mutex mutex;
    return mutex;
}

void decode_now(VipsImage* loaded, const std::string& name) {
    const std::lock_guard lock(threads_setting());
    const int threads = vips_concurrency_get();
    vips_concurrency_set(1);
    const std::unique_ptr<VipsRegion, GObjectUnref> region(vips_region_new(loaded));
    const VipsRect first{0, 0, loaded->Xsize, 1};
    const bool decoded = vips_region_prepare(region.get(), &first) == 0;
    vips_concurrency_set(threads);
    if (!decoded) throw corrupt(name, "WebP", vips_failure());
}

// The descriptor a custom target writes to, with the system's reason for a
// failed write (libvips' own target says only "write error").
struct TargetFile {
    int fd;
    int err = 0;
};

gint64 target_write(VipsTargetCustom*, const void* data, gint64 length, TargetFile* file) {
    file->err = write_all(file->fd, data, static_cast<std::size_t>(length));
    return file->err == 0 ? length : -1;
}

// TIFF's encoder reads back and seeks in what it wrote.
gint64 target_read(VipsTargetCustom*, void* data, gint64 length, TargetFile* file) {
    const ssize_t got = read_some(file->fd, data, static_cast<std::size_t>(length));
    if (got < 0) file->err = errno;
    return got;
}

gint64 target_seek(VipsTargetCustom*, gint64 offset, int whence, TargetFile* file) {
    const off_t at = ::lseek(file->fd, offset, whence);
    if (at < 0) file->err = errno;
    return at;
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
constexpr PixelFilter median_cut_filter = PixelFilter::median_cut;
constexpr StepKind blur_kind{filter_rows, 1, &blur_filter};
constexpr StepKind median_cut_kind{filter_rows, 1, &median_cut_filter};

}  // namespace

DecodeCheck::DecodeCheck(std::int32_t height) : rows_((static_cast<std::size_t>(height) + 63) / 64), height_(height) {}

void DecodeCheck::delivered(std::int32_t top, std::int32_t rows) noexcept {
    for (std::int32_t y = top; y < top + rows; ++y) {
        rows_[static_cast<std::size_t>(y) / 64].fetch_or(std::uint64_t{1} << (y % 64), std::memory_order_relaxed);
    }
}

void DecodeCheck::failed(std::string reason) {
    const std::lock_guard lock(mutex_);
    if (!failed_.exchange(true)) reason_ = std::move(reason);
}

std::string DecodeCheck::trouble() const {
    if (failed_.load()) {
        const std::lock_guard lock(mutex_);
        return reason_;
    }
    for (std::int32_t y = 0; y < height_; ++y) {
        if ((rows_[static_cast<std::size_t>(y) / 64].load(std::memory_order_relaxed) >> (y % 64) & 1) == 0) {
            return "the picture is cut short: row " + std::to_string(y) + " never came from the decoder";
        }
    }
    return {};
}

void set_threads(std::int32_t threads) {
    start_vips();
    const std::lock_guard lock(threads_setting());
    vips_concurrency_set(threads < 1 ? 1 : threads);
}

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
    if (!started) throw Error::of(ErrorNumber::out_of_memory, "the picture library cannot start: " + vips_failure());
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
    if (S_ISDIR(info.st_mode)) throw open_error(path, EISDIR);
    if (!S_ISREG(info.st_mode)) throw Error::reading(ErrorNumber::file_access, path, "not a regular file");
    // A file that cannot be read at all (some files under /proc) says so now.
    char first = 0;
    if (::pread(file.get(), &first, 1, 0) < 0) throw open_error(path, errno);
    return file;
}

bool holds_picture_format(int fd) {
    std::uint8_t head[sniff_bytes];
    const ssize_t got = read_some(fd, head, sizeof head);
    return got > 0 && format_of_bytes({head, static_cast<std::size_t>(got)}) != nullptr;
}

PictureSource open_picture(int fd, const std::string& name, std::int64_t max_pixels) {
    start_vips();
    const std::unique_ptr<VipsSource, GObjectUnref> source(vips_source_new_from_descriptor(fd));
    if (!source) throw Error::reading(ErrorNumber::file_access, name, vips_failure());
    unsigned char* head = nullptr;
    const gint64 head_size = vips_source_sniff_at_most(source.get(), &head, sniff_bytes);
    if (head_size < 0) throw Error::reading(ErrorNumber::file_access, name, vips_failure());
    if (head_size == 0) throw invalid(name, "the file is empty");
    // The format is decided here, from the bytes; only its decoder sees them.
    const FormatRow* format = format_of_bytes({head, static_cast<std::size_t>(head_size)});
    if (format == nullptr) throw invalid(name, "not a picture of a format read here (" + formats_read() + ")");
    PictureSource picture;
    VipsImage* loaded = nullptr;
    if (format->load != nullptr) {
        if (format->load(source.get(), &loaded) != 0) throw corrupt(name, format->name, vips_failure());
    } else {
        const auto bytes = read_source(source.get(), name);
        codecs::RgbaPicture decoded;
        try {
            decoded = format->decode(*bytes, max_pixels);
        } catch (const codecs::TooLarge& large) {
            throw too_large(name, large.width, large.height, max_pixels);
        } catch (const codecs::BadPicture& bad) {
            throw corrupt(name, format->name, bad.what());
        }
        picture.pixels = std::make_shared<std::vector<std::uint8_t>>(std::move(decoded.rgba));
        loaded = vips_image_new_from_memory(picture.pixels->data(), picture.pixels->size(), decoded.width,
                                            decoded.height, 4, VIPS_FORMAT_UCHAR);
        if (loaded == nullptr) throw corrupt(name, format->name, vips_failure());
        loaded->Type = VIPS_INTERPRETATION_sRGB;
        // The file's resolution, which the encoders keep (pixels a millimetre).
        if (decoded.x_pixels_per_metre > 0 && decoded.y_pixels_per_metre > 0) {
            loaded->Xres = decoded.x_pixels_per_metre / 1000.0;
            loaded->Yres = decoded.y_pixels_per_metre / 1000.0;
        }
    }
    VipsImagePtr image(loaded);
    picture.orientation = vips_image_get_orientation(image.get());
    const std::int64_t width = image->Xsize, height = image->Ysize;
    if (width * height > max_pixels) throw too_large(name, width, height, max_pixels);
    if (format->load != nullptr) {
        if (format->written == PictureFormat::webp) decode_now(image.get(), name);
        picture.check = std::make_shared<DecodeCheck>(image->Ysize);
        image = watched(image.get(), picture.check);
    } else {
        picture.check = std::make_shared<DecodeCheck>(0);
    }
    picture.rgb = eight_bit_rgb(image.get(), name);
    if (picture.rgb->Bands > 3) picture.rgb = stream_step(picture.rgb.get(), 3, flatten_kind, picture.check.get());
    picture.rgb->Type = VIPS_INTERPRETATION_sRGB;
    picture.format = format->name;
    return picture;
}

void write_picture(VipsImage* rgb, PictureFormat format, int quality, int fd, const std::string& out,
                   const DecodeCheck* check, const std::string& in) {
    start_vips();
    TargetFile file{fd};
    const std::unique_ptr<VipsTargetCustom, GObjectUnref> target(vips_target_custom_new());
    g_signal_connect(target.get(), "write", G_CALLBACK(target_write), &file);
    g_signal_connect(target.get(), "read", G_CALLBACK(target_read), &file);
    g_signal_connect(target.get(), "seek", G_CALLBACK(target_seek), &file);
    const bool failed = format_row(format).save(rgb, VIPS_TARGET(target.get()), quality) != 0;
    // A write that failed stops the decoding too: the output is to blame.
    if (file.err != 0) {
        vips_error_clear();
        throw Error::writing(ErrorNumber::file_access, out, std::strerror(file.err), file.err);
    }
    if (check != nullptr) {
        if (const std::string trouble = check->trouble(); !trouble.empty()) {
            vips_error_clear();
            throw Error::reading(ErrorNumber::invalid_picture, in, trouble);
        }
    }
    if (failed) throw Error::writing(ErrorNumber::file_access, out, vips_failure());
}

void read_picture_rows(const PictureSource& picture, const std::string& name,
                       const std::function<void(std::int32_t, const std::uint8_t*)>& row) {
    VipsImage* rgb = picture.rgb.get();
    const std::unique_ptr<VipsRegion, GObjectUnref> region(vips_region_new(rgb));
    const auto trouble = [&] {
        std::string why = picture.check ? picture.check->trouble() : std::string();
        return why.empty() ? corrupt(name, picture.format, vips_failure()) : invalid(name, why);
    };
    // A strip at a time, top to bottom, as a sequential decoder wants.
    constexpr int strip = 64;
    for (int top = 0; top < rgb->Ysize; top += strip) {
        const VipsRect rect{0, top, rgb->Xsize, std::min(strip, rgb->Ysize - top)};
        if (vips_region_prepare(region.get(), &rect) != 0) throw trouble();
        for (int y = top; y < top + rect.height; ++y) {
            row(y, reinterpret_cast<const std::uint8_t*>(VIPS_REGION_ADDR(region.get(), 0, y)));
        }
    }
    if (picture.check && !picture.check->trouble().empty()) throw trouble();
}

DecodedPicture decode_picture_file(const std::string& path, std::int64_t max_pixels) {
    const UniqueFd file = open_picture_file(path);
    const PictureSource picture = open_picture(file.get(), path, max_pixels);
    const std::int32_t width = picture.rgb->Xsize, height = picture.rgb->Ysize;
    DecodedPicture decoded;
    const bool sideways = picture.orientation >= 5;
    decoded.width = sideways ? height : width;
    decoded.height = sideways ? width : height;
    try {
        decoded.bgr.resize(static_cast<std::size_t>(width) * 3 * height);
    } catch (const std::bad_alloc&) {
        throw Error::out_of_memory();
    }
    const std::size_t row_bytes = static_cast<std::size_t>(width) * 3;
    std::vector<std::uint8_t> bgr(row_bytes);
    read_picture_rows(picture, path, [&](std::int32_t y, const std::uint8_t* rgb) {
        for (std::size_t i = 0; i < row_bytes; i += 3) {
            bgr[i] = rgb[i + 2];
            bgr[i + 1] = rgb[i + 1];
            bgr[i + 2] = rgb[i];
        }
        place_upright(bgr.data(), y, width, height, picture.orientation, 3, decoded.bgr.data(),
                      static_cast<std::ptrdiff_t>(decoded.width) * 3);
    });
    return decoded;
}

void place_upright(const std::uint8_t* row, std::int32_t y, std::int32_t width, std::int32_t height,
                   int orientation, int pixel_bytes, std::uint8_t* out, std::ptrdiff_t out_step) noexcept {
    const auto n = static_cast<std::size_t>(pixel_bytes);
    if (orientation < 2 || orientation > 8) {
        std::memcpy(out + y * out_step, row, static_cast<std::size_t>(width) * n);
        return;
    }
    for (std::int32_t x = 0; x < width; ++x) {
        // Where the stored pixel (x, y) lies upright: mirrored (2, 4), turned
        // half round (3), across the diagonal (5), a quarter right (6) or
        // left (8), across the other diagonal (7).
        std::int32_t u = x, v = y;
        switch (orientation) {
            case 2: u = width - 1 - x; break;
            case 3: u = width - 1 - x, v = height - 1 - y; break;
            case 4: v = height - 1 - y; break;
            case 5: u = y, v = x; break;
            case 6: u = height - 1 - y, v = x; break;
            case 7: u = height - 1 - y, v = width - 1 - x; break;
            case 8: u = y, v = width - 1 - x; break;
        }
        std::memcpy(out + v * out_step + static_cast<std::ptrdiff_t>(u) * pixel_bytes, row + x * n, n);
    }
}

VipsImagePtr filtered_picture(VipsImage* rgb, PixelFilter filter, DecodeCheck* check) {
    return stream_step(rgb, 3, filter == PixelFilter::blur ? blur_kind : median_cut_kind, check);
}

VipsImagePtr picture_of_rows(const std::uint8_t* rgb, std::int32_t width, std::int32_t height) {
    start_vips();
    VipsImage* image = vips_image_new_from_memory(rgb, static_cast<std::size_t>(width) * 3 * height,
                                                  width, height, 3, VIPS_FORMAT_UCHAR);
    if (image == nullptr) throw Error::of(ErrorNumber::out_of_memory, vips_failure());
    image->Type = VIPS_INTERPRETATION_sRGB;
    return VipsImagePtr(image);
}

}  // namespace orvessa::platform
