// tiff_writer: 8-bit RGB in uncompressed little-endian strips, written as
// the rows arrive; libtiff seeks back for the directory at the end.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "codecs/tiff_client.hpp"
#include "codecs/tiff_codec.hpp"

namespace orvessa::codecs {
namespace {

using tiff::Context;

// Where libtiff's bytes go: the caller's sink at a position of our own, or,
// where that sink cannot seek, memory copied to it once the file is whole.
struct SinkIo {
    Context context;
    ByteSink* sink = nullptr;
    MemorySink gathered;
    std::uint64_t at = 0, end = 0;
    bool abandoned = false;  // an unfinished writer's last flush writes nothing
};

tmsize_t write_proc(thandle_t client, void* bytes, tmsize_t size) {
    auto& io = *static_cast<SinkIo*>(client);
    // Failures return 0, never -1, which libtiff 4.5 would count as bytes.
    if (io.abandoned || size < 0) return 0;
    try {
        io.sink->write_at(io.at, static_cast<const std::uint8_t*>(bytes), static_cast<std::size_t>(size));
        io.at += static_cast<std::uint64_t>(size);
        io.end = std::max(io.end, io.at);
        return size;
    } catch (...) {
        io.context.failure = std::current_exception();
        return 0;
    }
}

tmsize_t read_proc(thandle_t client, void* into, tmsize_t size) {
    auto& io = *static_cast<SinkIo*>(client);
    try {
        std::uint64_t done = 0;
        const std::uint64_t want = size > 0 ? static_cast<std::uint64_t>(size) : 0;
        while (done < want && io.at + done < io.end) {
            const std::size_t n = io.sink->read_at(io.at + done, static_cast<std::uint8_t*>(into) + done, want - done);
            if (n == 0) break;
            done += n;
        }
        io.at += done;
        return static_cast<tmsize_t>(done);
    } catch (...) {
        io.context.failure = std::current_exception();
        return 0;
    }
}

toff_t seek_proc(thandle_t client, toff_t offset, int whence) {
    auto& io = *static_cast<SinkIo*>(client);
    return io.at = tiff::seek_position(io.at, io.end, offset, whence);
}

toff_t size_proc(thandle_t client) { return static_cast<SinkIo*>(client)->end; }

class TiffWriter final : public PictureWriter {
public:
    TiffWriter(ByteSink& sink, const PictureInfo& info) : sink_(sink), height_(info.height) {
        if (info.width <= 0 || info.height <= 0) throw CannotWrite("the picture has no pixels");
        const std::uint64_t row = 3 * static_cast<std::uint64_t>(info.width);
        const auto per_strip = static_cast<std::uint32_t>(std::clamp<std::uint64_t>((64 << 10) / row, 1, info.height));
        const std::uint64_t strips = (info.height + per_strip - 1) / per_strip;
        // Classic TIFF's offsets are 32 bits: past that, BigTIFF.
        const bool big = row * info.height + info.icc.size() + 16 * strips + 4096 > UINT32_MAX;

        io_.sink = sink.seekable() ? &sink : &io_.gathered;
        io_.context.clear();
        tif_ = tiff::open_client(big ? "w8l" : "wl", {&io_, read_proc, write_proc, seek_proc, size_proc}, io_.context);
        check(tif_ != nullptr);
        TIFF* tif = tif_.get();
        bool ok = TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(info.width)) &&
                  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(info.height)) &&
                  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8) && TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3) &&
                  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
                  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
                  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE) &&
                  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, per_strip);
        if (ok && info.orientation >= 2 && info.orientation <= 8)
            ok = TIFFSetField(tif, TIFFTAG_ORIENTATION, info.orientation);
        const double x = info.x_pixels_per_metre > 0 ? info.x_pixels_per_metre : info.y_pixels_per_metre;
        const double y = info.y_pixels_per_metre > 0 ? info.y_pixels_per_metre : info.x_pixels_per_metre;
        if (ok && x > 0 && std::isfinite(x) && std::isfinite(y))
            ok = TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_CENTIMETER) &&
                 TIFFSetField(tif, TIFFTAG_XRESOLUTION, x / 100) && TIFFSetField(tif, TIFFTAG_YRESOLUTION, y / 100);
        if (ok && !info.icc.empty())
            ok = TIFFSetField(tif, TIFFTAG_ICCPROFILE, static_cast<std::uint32_t>(info.icc.size()), info.icc.data());
        check(ok);
        row_.resize(row);
    }
    ~TiffWriter() override { io_.abandoned = true; }
    TiffWriter(const TiffWriter&) = delete;
    TiffWriter& operator=(const TiffWriter&) = delete;

    void write_rows(const std::uint8_t* rgb, std::ptrdiff_t step, std::int32_t count) override {
        if (!tif_ || count < 0 || count > height_ - written_)
            throw std::logic_error("more TIFF rows than the picture has");
        for (std::int32_t i = 0; i < count; ++i, rgb += step) {
            // libtiff takes a writable row.
            std::memcpy(row_.data(), rgb, row_.size());
            io_.context.clear();
            check(TIFFWriteScanline(tif_.get(), row_.data(), static_cast<std::uint32_t>(written_), 0) == 1);
            ++written_;
        }
    }

    void finish() override {
        if (!tif_ || written_ != height_) throw std::logic_error("a TIFF finished before its last row");
        io_.context.clear();
        check(TIFFFlush(tif_.get()) == 1);
        tif_.reset();
        check(io_.context.error.empty());
        if (io_.sink == &io_.gathered) sink_.write(io_.gathered.bytes().data(), io_.gathered.bytes().size());
    }

private:
    // A sink's own exception goes on as it was thrown; else libtiff's text.
    void check(bool ok) {
        io_.context.rethrow_failure();
        if (!ok) throw CannotWrite(io_.context.reason("libtiff could not write the file"));
    }

    ByteSink& sink_;
    std::int32_t height_, written_ = 0;
    std::vector<std::uint8_t> row_;
    SinkIo io_;  // before the handle: libtiff calls into it until closed
    tiff::Handle tif_;
};

}  // namespace

std::unique_ptr<PictureWriter> tiff_writer(ByteSink& sink, const PictureInfo& info) {
    return std::make_unique<TiffWriter>(sink, info);
}

}  // namespace orvessa::codecs
