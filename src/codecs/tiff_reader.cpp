// open_tiff: the head and the first directory read through libtiff over the
// source, the layout chosen, rows handed out a band at a time.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "codecs/tiff_bands.hpp"
#include "codecs/tiff_client.hpp"
#include "codecs/tiff_codec.hpp"
#include "codecs/tiff_samples.hpp"

namespace orvessa::codecs {
namespace {

using tiff::Colour;
using tiff::Context;

// The file libtiff reads: the source at a position of our own, or a pipe's
// bytes gathered in memory first (TIFF seeks).
struct SourceIo {
    Context context;
    ByteSource* source = nullptr;
    std::vector<std::uint8_t> whole;
    std::optional<MemorySource> memory;
    std::uint64_t length = 0, at = 0;
    bool ran_short = false;  // a read met the end: libtiff skips such tags with a mere warning
};

tmsize_t read_proc(thandle_t client, void* into, tmsize_t size) {
    auto& io = *static_cast<SourceIo*>(client);
    try {
        std::uint64_t done = 0;
        const std::uint64_t want = size > 0 ? static_cast<std::uint64_t>(size) : 0;
        while (done < want && io.at + done < io.length) {
            const std::size_t n =
                io.source->read_at(io.at + done, static_cast<std::uint8_t*>(into) + done, want - done);
            if (n == 0) break;
            done += n;
        }
        io.at += done;
        if (done < want) io.ran_short = true;
        return static_cast<tmsize_t>(done);
    } catch (...) {
        // Nothing read rather than -1: libtiff 4.5 counts a -1 into the
        // bytes read and clears one byte past its buffer.
        io.context.failure = std::current_exception();
        return 0;
    }
}

tmsize_t no_write(thandle_t, void*, tmsize_t) { return 0; }

toff_t seek_proc(thandle_t client, toff_t offset, int whence) {
    auto& io = *static_cast<SourceIo*>(client);
    return io.at = tiff::seek_position(io.at, io.length, offset, whence);
}

toff_t size_proc(thandle_t client) { return static_cast<SourceIo*>(client)->length; }

template <class T>
T field(TIFF* tif, ttag_t tag) {
    T value{};
    TIFFGetFieldDefaulted(tif, tag, &value);
    return value;
}

[[noreturn]] void unsupported(const char* what) { throw BadPicture(what); }

// How libtiff's decoded samples read, where this codec reads them itself;
// nothing where only libtiff's RGBA reader can (its colour conversions).
std::optional<tiff::SampleLayout> sample_layout(TIFF* tif) {
    const int bits = field<std::uint16_t>(tif, TIFFTAG_BITSPERSAMPLE);
    const int samples = field<std::uint16_t>(tif, TIFFTAG_SAMPLESPERPIXEL);
    const auto compression = field<std::uint16_t>(tif, TIFFTAG_COMPRESSION);
    const auto photometric = field<std::uint16_t>(tif, TIFFTAG_PHOTOMETRIC);
    const bool planar = field<std::uint16_t>(tif, TIFFTAG_PLANARCONFIG) == PLANARCONFIG_SEPARATE;
    const auto format = field<std::uint16_t>(tif, TIFFTAG_SAMPLEFORMAT);
    if (format == SAMPLEFORMAT_IEEEFP) unsupported("floating-point samples are not supported");
    if (format != SAMPLEFORMAT_UINT && format != SAMPLEFORMAT_VOID)
        unsupported("signed or complex samples are not supported");
    if (samples < 1 || samples > 32) unsupported("more than 32 samples a pixel are not supported");
    if (!(bits >= 1 && bits <= 16) && bits != 32) return std::nullopt;
    if (compression == COMPRESSION_OJPEG || compression == COMPRESSION_SGILOG || compression == COMPRESSION_SGILOG24)
        return std::nullopt;

    std::uint16_t extra_count = 0;
    std::uint16_t* extra = nullptr;
    TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &extra_count, &extra);
    const int colours = samples - std::min<int>(extra_count, samples);

    tiff::SampleLayout layout;
    layout.bits = bits;
    int needed = 1;
    switch (photometric) {
        case PHOTOMETRIC_MINISBLACK: layout.colour = Colour::gray; break;
        case PHOTOMETRIC_MINISWHITE: layout.colour = Colour::inverted_gray; break;
        case PHOTOMETRIC_RGB: layout.colour = Colour::rgb, needed = 3; break;
        case PHOTOMETRIC_YCBCR:
            // JPEG's own decoder turns YCbCr to RGB (and upsamples); other
            // YCbCr goes to the RGBA reader.
            if (compression != COMPRESSION_JPEG || planar || bits != 8) return std::nullopt;
            if (!TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB)) return std::nullopt;
            layout.colour = Colour::rgb, needed = 3;
            break;
        case PHOTOMETRIC_PALETTE: {
            std::uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
            if (bits > 16) return std::nullopt;
            if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue)) unsupported("the palette is missing");
            layout.map = {red, green, blue};
            layout.colour = Colour::palette;
            break;
        }
        case PHOTOMETRIC_SEPARATED:
            if (field<std::uint16_t>(tif, TIFFTAG_INKSET) != INKSET_CMYK) return std::nullopt;
            layout.colour = Colour::cmyk, needed = 4;
            break;
        default: return std::nullopt;
    }
    if (colours < needed) return std::nullopt;
    // The first extra sample is alpha, premultiplied only where it says
    // so: writers that leave it unspecified (or untagged) mean alpha too.
    if (colours < samples) {
        layout.alpha = colours;
        layout.premultiplied = extra_count > 0 && extra[0] == EXTRASAMPLE_ASSOCALPHA;
    }
    // A planar file's planes past those needed are never read.
    layout.per_pixel = planar ? std::max(needed, layout.alpha + 1) : samples;
    if (TIFFIsTiled(tif)) {
        // Tiles must start on whole bytes to be placed side by side.
        const std::uint64_t tile_bits =
            std::uint64_t{field<std::uint32_t>(tif, TIFFTAG_TILEWIDTH)} * bits * (planar ? 1 : samples);
        if (tile_bits % 8 != 0) return std::nullopt;
    }
    return layout;
}

double pixels_per_metre(float resolution, std::uint16_t unit) {
    if (!std::isfinite(resolution) || resolution <= 0) return 0;
    if (unit == RESUNIT_INCH) return resolution / 0.0254;
    if (unit == RESUNIT_CENTIMETER) return resolution * 100.0;
    return 0;
}

// Every strip or tile of the first page lies inside the file: a file cut
// short is refused whatever its compression makes of missing bytes.
void check_data_within(TIFF* tif, std::uint64_t length) {
    const std::uint32_t count = TIFFIsTiled(tif) ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint64_t offset = TIFFGetStrileOffset(tif, i), bytes = TIFFGetStrileByteCount(tif, i);
        if (offset > length || bytes > length - offset) throw BadPicture("the pixel data ends early");
    }
}

class TiffReader final : public PictureReader {
public:
    TiffReader(ByteSource& source, std::int64_t max_pixels) {
        open(source);
        TIFF* tif = tif_.get();
        const std::uint32_t width = field<std::uint32_t>(tif, TIFFTAG_IMAGEWIDTH);
        const std::uint32_t height = field<std::uint32_t>(tif, TIFFTAG_IMAGELENGTH);
        check_size(width, height, max_pixels);
        info_.width = static_cast<std::int32_t>(width);
        info_.height = static_cast<std::int32_t>(height);
        read_info(tif);
        check_data_within(tif, io_.length);
        const std::optional<tiff::SampleLayout> layout = sample_layout(tif);
        bands_ = layout ? tiff::sample_bands(tif, io_.context, *layout) : tiff::rgba_bands(tif, io_.context);
    }
    TiffReader(const TiffReader&) = delete;
    TiffReader& operator=(const TiffReader&) = delete;

    void read_rows(std::uint8_t* rgb, std::ptrdiff_t step, std::int32_t count) override {
        if (broken_) throw BadPicture(*broken_);
        if (count < 0 || count > info_.height - next_)
            throw std::logic_error("more TIFF rows asked for than the picture has");
        try {
            for (std::int32_t i = 0; i < count; ++i, ++next_, rgb += step) {
                if (next_ == held_ + bands_->rows()) held_ = next_;
                if (next_ == held_) bands_->load(held_, std::min(bands_->rows(), info_.height - held_));
                bands_->row(next_ - held_, rgb);
            }
        } catch (const BadPicture& e) {
            broken_ = e.what();  // libtiff's state after a failure is not to be trusted
            throw;
        } catch (...) {
            broken_ = "the picture could not be read on after a failure";
            throw;
        }
    }

private:
    void open(ByteSource& source) {
        io_.source = &source;
        if (const auto length = source.length()) {
            io_.length = *length;
        } else {
            std::uint8_t chunk[1 << 16];
            while (const std::size_t n = source.read(chunk, sizeof chunk))
                io_.whole.insert(io_.whole.end(), chunk, chunk + n);
            io_.memory.emplace(Bytes(io_.whole));
            io_.source = &*io_.memory;
            io_.length = io_.whole.size();
        }
        io_.context.clear();
        // "m": no memory mapping, every byte comes through read_proc.
        tif_ = tiff::open_client("rm", {&io_, read_proc, no_write, seek_proc, size_proc}, io_.context);
        io_.context.rethrow_failure();
        if (!tif_) throw BadPicture(io_.ran_short ? "the file ends early" : io_.context.reason("not a TIFF file"));
        // Walking the chain of pages reads each one's directory head, so a
        // file cut after its first page is known to be cut as well.
        TIFFNumberOfDirectories(tif_.get());
        io_.context.rethrow_failure();
        if (io_.ran_short) throw BadPicture("the file ends early");
    }

    void read_info(TIFF* tif) {
        std::uint16_t orientation = 1;
        if (TIFFGetField(tif, TIFFTAG_ORIENTATION, &orientation) && orientation >= 1 && orientation <= 8)
            info_.orientation = orientation;
        const auto unit = field<std::uint16_t>(tif, TIFFTAG_RESOLUTIONUNIT);  // inch where absent
        float resolution = 0;
        if (TIFFGetField(tif, TIFFTAG_XRESOLUTION, &resolution))
            info_.x_pixels_per_metre = pixels_per_metre(resolution, unit);
        if (TIFFGetField(tif, TIFFTAG_YRESOLUTION, &resolution))
            info_.y_pixels_per_metre = pixels_per_metre(resolution, unit);
        // A profile is kept for pictures that become RGB as they are, and
        // only one that says it describes RGB.
        const auto photometric = field<std::uint16_t>(tif, TIFFTAG_PHOTOMETRIC);
        std::uint32_t size = 0;
        void* data = nullptr;
        if ((photometric == PHOTOMETRIC_RGB || photometric == PHOTOMETRIC_YCBCR ||
             photometric == PHOTOMETRIC_PALETTE) &&
            TIFFGetField(tif, TIFFTAG_ICCPROFILE, &size, &data) && data && size >= 128) {
            const auto* icc = static_cast<const std::uint8_t*>(data);
            if (std::memcmp(icc + 16, "RGB ", 4) == 0) info_.icc.assign(icc, icc + size);
        }
    }

    SourceIo io_;  // first: libtiff's handle calls into it until closed
    tiff::Handle tif_;
    std::unique_ptr<tiff::Bands> bands_;
    std::int32_t next_ = 0, held_ = 0;  // the next row to give; the first row held
    std::optional<std::string> broken_;
};

}  // namespace

std::unique_ptr<PictureReader> open_tiff(ByteSource& source, std::int64_t max_pixels) {
    return std::make_unique<TiffReader>(source, max_pixels);
}

}  // namespace orvessa::codecs
