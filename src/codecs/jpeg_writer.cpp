#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>
#include <vector>

#include "codecs/exif.hpp"
#include "codecs/jpeg_codec.hpp"
#include "codecs/jpeg_failure.hpp"

namespace orvessa::codecs {
namespace {

using jpeg_detail::attempt;
using jpeg_detail::JpegFailure;

constexpr std::int32_t widest = JPEG_MAX_DIMENSION;
constexpr std::size_t marker_room = 65533;          // the data a marker holds
constexpr std::size_t icc_room = 255 * 65519;       // 255 markers, each after its 14-byte head
constexpr std::uint8_t exif_prefix[6] = {'E', 'x', 'i', 'f', 0, 0};

struct WriteContext : JpegFailure {
    explicit WriteContext(ByteSink& s) : sink(s) {}
    WriteContext(const WriteContext&) = delete;
    WriteContext& operator=(const WriteContext&) = delete;
    // Safe on a struct never created: it is all zeros then.
    ~WriteContext() { jpeg_destroy_compress(&library); }

    ByteSink& sink;
    jpeg_compress_struct library{};
    jpeg_destination_mgr drain{};
    // What the steps run under attempt() take; prepared beforehand, since
    // nothing there may own memory.
    const PictureInfo* info = nullptr;
    int quality = 0;
    std::vector<std::uint8_t> exif_marker;
    JSAMPROW row = nullptr;
    std::array<JOCTET, 64 * 1024> chunk{};
};

WriteContext& context_of(j_compress_ptr library) {
    return static_cast<WriteContext&>(*static_cast<JpegFailure*>(library->client_data));
}

void pass_on(j_compress_ptr library, std::size_t size) {
    WriteContext& c = context_of(library);
    bool threw = false;
    try {
        c.sink.write(c.chunk.data(), size);
    } catch (...) {
        c.thrown = std::current_exception();
        threw = true;
    }
    if (threw) jpeg_detail::give_up_because(reinterpret_cast<j_common_ptr>(library), "the file could not be written");
    c.drain.next_output_byte = c.chunk.data();
    c.drain.free_in_buffer = c.chunk.size();
}

void start_drain(j_compress_ptr library) {
    WriteContext& c = context_of(library);
    c.drain.next_output_byte = c.chunk.data();
    c.drain.free_in_buffer = c.chunk.size();
}

// libjpeg calls this with the whole chunk full, whatever free_in_buffer says.
boolean drain_full(j_compress_ptr library) {
    pass_on(library, context_of(library).chunk.size());
    return TRUE;
}

void drain_rest(j_compress_ptr library) {
    const WriteContext& c = context_of(library);
    if (c.drain.free_in_buffer < c.chunk.size()) pass_on(library, c.chunk.size() - c.drain.free_in_buffer);
}

void create(WriteContext& c) { jpeg_create_compress(&c.library); }

JDIMENSION dots_per_cm(double per_metre) { return static_cast<JDIMENSION>(std::clamp(std::lround(per_metre / 100), 1L, 65535L)); }

void start(WriteContext& c) {
    jpeg_compress_struct& library = c.library;
    c.drain.init_destination = start_drain;
    c.drain.empty_output_buffer = drain_full;
    c.drain.term_destination = drain_rest;
    library.dest = &c.drain;
    library.image_width = static_cast<JDIMENSION>(c.info->width);
    library.image_height = static_cast<JDIMENSION>(c.info->height);
    library.input_components = 3;
    library.in_color_space = JCS_RGB;
    jpeg_set_defaults(&library);
    jpeg_set_quality(&library, c.quality, TRUE);
    // Halved colour resolution is not seen below 90; from 90 up it is kept.
    const int sampling = c.quality < 90 ? 2 : 1;
    library.comp_info[0].h_samp_factor = library.comp_info[0].v_samp_factor = sampling;
    library.optimize_coding = FALSE;  // a second pass over the data for ~5 %
    library.dct_method = JDCT_ISLOW;
    const double x = c.info->x_pixels_per_metre, y = c.info->y_pixels_per_metre;
    if (x > 0 || y > 0) {
        library.write_JFIF_header = TRUE;
        library.density_unit = 2;  // dots per cm
        library.X_density = static_cast<UINT16>(dots_per_cm(x > 0 ? x : y));
        library.Y_density = static_cast<UINT16>(dots_per_cm(y > 0 ? y : x));
    }
    jpeg_start_compress(&library, TRUE);
    if (!c.exif_marker.empty())
        jpeg_write_marker(&library, JPEG_APP0 + 1, c.exif_marker.data(), static_cast<unsigned>(c.exif_marker.size()));
    const std::vector<std::uint8_t>& icc = c.info->icc;
    if (!icc.empty() && icc.size() <= icc_room)
        jpeg_write_icc_profile(&library, icc.data(), static_cast<unsigned>(icc.size()));
}

void write_row(WriteContext& c) { jpeg_write_scanlines(&c.library, &c.row, 1); }

void finish_file(WriteContext& c) { jpeg_finish_compress(&c.library); }

// "Exif\0\0" and the block; a block too large for one marker gives way to
// one that keeps the orientation alone.
std::vector<std::uint8_t> exif_marker(const PictureInfo& info) {
    std::vector<std::uint8_t> block = exif_to_write(info);
    if (block.size() + sizeof exif_prefix > marker_room) {
        PictureInfo bare;
        bare.orientation = info.orientation;
        block = exif_to_write(bare);
    }
    if (block.empty()) return block;
    block.insert(block.begin(), std::begin(exif_prefix), std::end(exif_prefix));
    return block;
}

class JpegWriter final : public PictureWriter {
public:
    JpegWriter(ByteSink& sink, const PictureInfo& info, int quality);
    void write_rows(const std::uint8_t* rgb, std::ptrdiff_t step, std::int32_t count) override;
    void finish() override;

private:
    void run(void (*step)(WriteContext&));

    std::unique_ptr<WriteContext> c_;
    bool finished_ = false;
};

void JpegWriter::run(void (*step)(WriteContext&)) {
    if (!c_->failed && attempt(*c_, step)) return;
    jpeg_detail::throw_failure(*c_, false);
}

JpegWriter::JpegWriter(ByteSink& sink, const PictureInfo& info, int quality)
    : c_(std::make_unique<WriteContext>(sink)) {
    if (quality < 1 || quality > 100) throw std::invalid_argument("JPEG quality is 1 to 100");
    if (info.width <= 0 || info.height <= 0) throw CannotWrite("the picture has no pixels");
    if (info.width > widest || info.height > widest)
        throw CannotWrite("JPEG holds pictures of at most 65500 x 65500 pixels");
    c_->info = &info;
    c_->quality = quality;
    c_->exif_marker = exif_marker(info);
    c_->library.err = jpeg_detail::failure_handlers(*c_);
    c_->library.client_data = static_cast<JpegFailure*>(c_.get());
    run(create);
    run(start);
    c_->info = nullptr;  // the caller's; not kept past here
    c_->exif_marker = {};
}

void JpegWriter::write_rows(const std::uint8_t* rgb, std::ptrdiff_t step, std::int32_t count) {
    const JDIMENSION done = c_->library.next_scanline;
    if (finished_ || count < 0 || static_cast<std::uint32_t>(count) > c_->library.image_height - done)
        throw std::out_of_range("more rows given than the picture has");
    for (std::int32_t i = 0; i < count; ++i) {
        c_->row = const_cast<JSAMPROW>(rgb + i * step);  // libjpeg only reads it
        run(write_row);
    }
}

void JpegWriter::finish() {
    if (finished_ || c_->library.next_scanline != c_->library.image_height)
        throw std::logic_error("a JPEG finished before its last row, or twice");
    run(finish_file);
    finished_ = true;
}

}  // namespace

std::unique_ptr<PictureWriter> jpeg_writer(ByteSink& sink, const PictureInfo& info, int quality) {
    return std::make_unique<JpegWriter>(sink, info, quality);
}

}  // namespace orvessa::codecs
