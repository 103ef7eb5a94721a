#include <array>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include <jerror.h>

#include "codecs/exif.hpp"
#include "codecs/jpeg_codec.hpp"
#include "codecs/jpeg_failure.hpp"

namespace orvessa::codecs {
namespace {

using jpeg_detail::attempt;
using jpeg_detail::JpegFailure;

constexpr int most_scans = 500;  // real progressive files have about ten
constexpr std::uint8_t exif_prefix[6] = {'E', 'x', 'i', 'f', 0, 0};

struct ReadContext : JpegFailure {
    explicit ReadContext(ByteSource& s) : source(s) {}
    ReadContext(const ReadContext&) = delete;
    ReadContext& operator=(const ReadContext&) = delete;
    // Safe on a struct never created: it is all zeros then.
    ~ReadContext() { jpeg_destroy_decompress(&library); }

    ByteSource& source;
    jpeg_decompress_struct library{};
    jpeg_source_mgr feed{};
    jpeg_progress_mgr progress{};
    bool cut = false;  // the source ended before the file did
    // What the steps run under attempt() take and give.
    JSAMPROW row = nullptr;
    JOCTET* icc = nullptr;
    unsigned icc_size = 0;
    std::array<JOCTET, 64 * 1024> chunk{};
};

ReadContext& context_of(j_decompress_ptr library) {
    return static_cast<ReadContext&>(*static_cast<JpegFailure*>(library->client_data));
}
j_common_ptr common(j_decompress_ptr library) { return reinterpret_cast<j_common_ptr>(library); }

void start_feed(j_decompress_ptr) {}
void end_feed(j_decompress_ptr) {}

boolean refill(j_decompress_ptr library) {
    ReadContext& c = context_of(library);
    std::size_t got = 0;
    bool threw = false;
    try {
        got = c.source.read(c.chunk.data(), c.chunk.size());
    } catch (...) {
        c.thrown = std::current_exception();
        threw = true;
    }
    if (threw) jpeg_detail::give_up_because(common(library), "the file could not be read");
    if (got == 0) {
        // Ended as a whole file would, so that libjpeg stops; the warning
        // (and the mark) have the picture refused rather than padded out.
        c.cut = true;
        c.chunk[0] = 0xFF;
        c.chunk[1] = JPEG_EOI;
        got = 2;
        library->err->msg_code = JWRN_JPEG_EOF;
        (*library->err->emit_message)(common(library), -1);
    }
    c.feed.next_input_byte = c.chunk.data();
    c.feed.bytes_in_buffer = got;
    return TRUE;
}

void skip(j_decompress_ptr library, long count) {
    jpeg_source_mgr& feed = *library->src;
    if (count <= 0) return;
    while (static_cast<unsigned long>(count) > feed.bytes_in_buffer) {
        count -= static_cast<long>(feed.bytes_in_buffer);
        refill(library);
    }
    feed.next_input_byte += count;
    feed.bytes_in_buffer -= static_cast<std::size_t>(count);
}

// A file of many tiny scans makes libjpeg go over the whole picture for each.
void count_scans(j_common_ptr library) {
    if (reinterpret_cast<j_decompress_ptr>(library)->input_scan_number > most_scans)
        jpeg_detail::give_up_because(library, "the file has too many scans");
}

void create(ReadContext& c) { jpeg_create_decompress(&c.library); }

void read_head(ReadContext& c) {
    c.feed.init_source = start_feed;
    c.feed.fill_input_buffer = refill;
    c.feed.skip_input_data = skip;
    c.feed.resync_to_restart = jpeg_resync_to_restart;
    c.feed.term_source = end_feed;
    c.library.src = &c.feed;
    c.progress.progress_monitor = count_scans;
    c.library.progress = &c.progress;
    jpeg_save_markers(&c.library, JPEG_APP0 + 1, 0xFFFF);
    jpeg_save_markers(&c.library, JPEG_APP0 + 2, 0xFFFF);
    jpeg_read_header(&c.library, TRUE);
}

void read_icc(ReadContext& c) {
    if (!jpeg_read_icc_profile(&c.library, &c.icc, &c.icc_size)) c.icc = nullptr;
}

void start(ReadContext& c) { jpeg_start_decompress(&c.library); }

void read_row(ReadContext& c) {
    if (jpeg_read_scanlines(&c.library, &c.row, 1) != 1)
        jpeg_detail::give_up_because(common(&c.library), "the pixel data ends early");
}

// Reads on to the end of the file, where the last corrupt bytes may be.
void finish_file(ReadContext& c) { jpeg_finish_decompress(&c.library); }

// Pixels per metre from the JFIF head's density.
double per_metre(unsigned unit, unsigned density) {
    if (unit == 1) return density / 0.0254;
    if (unit == 2) return density * 100.0;
    return 0;  // 0: an aspect ratio only
}

class JpegReader final : public PictureReader {
public:
    JpegReader(ByteSource& source, std::int64_t max_pixels);
    void read_rows(std::uint8_t* rgb, std::ptrdiff_t step, std::int32_t count) override;

private:
    void run(void (*step)(ReadContext&));
    void take_markers();
    void cmyk_to_rgb(std::uint8_t* rgb) const;

    std::unique_ptr<ReadContext> c_;
    bool head_read_ = false, cmyk_ = false, inverted_ = false;
    std::vector<std::uint8_t> cmyk_row_;
};

void JpegReader::run(void (*step)(ReadContext&)) {
    if (!c_->failed && attempt(*c_, step)) return;
    if (c_->cut && !c_->thrown)
        throw BadPicture(head_read_ ? "the pixel data ends early" : "the file ends in its head");
    jpeg_detail::throw_failure(*c_, true);
}

JpegReader::JpegReader(ByteSource& source, std::int64_t max_pixels) : c_(std::make_unique<ReadContext>(source)) {
    jpeg_decompress_struct& library = c_->library;
    library.err = jpeg_detail::failure_handlers(*c_);
    library.client_data = static_cast<JpegFailure*>(c_.get());
    run(create);
    run(read_head);
    head_read_ = true;
    check_size(library.image_width, library.image_height, max_pixels);
    info_.width = static_cast<std::int32_t>(library.image_width);
    info_.height = static_cast<std::int32_t>(library.image_height);
    if (library.saw_JFIF_marker) {
        info_.x_pixels_per_metre = per_metre(library.density_unit, library.X_density);
        info_.y_pixels_per_metre = per_metre(library.density_unit, library.Y_density);
    }
    take_markers();

    switch (library.jpeg_color_space) {
        case JCS_GRAYSCALE:  // repeated into R, G and B by libjpeg
        case JCS_YCbCr:
        case JCS_RGB: library.out_color_space = JCS_RGB; break;
        case JCS_CMYK:
        case JCS_YCCK:
            library.out_color_space = JCS_CMYK;
            cmyk_ = true;
            inverted_ = library.saw_Adobe_marker;  // Adobe stores the ink inverted
            break;
        default: throw BadPicture("the JPEG's colour space is not supported");
    }
    // The settings the recorded pixels were decoded with.
    library.dct_method = JDCT_ISLOW;
    library.do_fancy_upsampling = TRUE;
    run(start);
    if (library.output_components != (cmyk_ ? 4 : 3)) throw BadPicture("the JPEG's colour space is not supported");
    if (cmyk_) cmyk_row_.resize(4 * static_cast<std::size_t>(info_.width));
}

void JpegReader::take_markers() {
    for (jpeg_saved_marker_ptr m = c_->library.marker_list; m; m = m->next) {
        if (m->marker != JPEG_APP0 + 1 || m->data_length < sizeof exif_prefix) continue;
        if (std::memcmp(m->data, exif_prefix, sizeof exif_prefix) != 0) continue;
        info_.exif.assign(m->data + sizeof exif_prefix, m->data + m->data_length);
        info_.orientation = exif_orientation(info_.exif);
        break;
    }
    const bool colour = c_->library.num_components == 3 &&
                        (c_->library.jpeg_color_space == JCS_YCbCr || c_->library.jpeg_color_space == JCS_RGB);
    if (!colour) return;
    run(read_icc);
    const std::unique_ptr<JOCTET, decltype(&std::free)> icc(c_->icc, std::free);
    c_->icc = nullptr;
    if (icc) info_.icc.assign(icc.get(), icc.get() + c_->icc_size);
}

void JpegReader::cmyk_to_rgb(std::uint8_t* rgb) const {
    // R = (255 - C) * (255 - K) / 255, rounded; likewise G from M, B from Y.
    const auto ink_left = [&](std::uint8_t v) -> unsigned { return inverted_ ? v : 255u - v; };
    for (std::int32_t x = 0; x < info_.width; ++x) {
        const std::uint8_t* cmyk = &cmyk_row_[4 * static_cast<std::size_t>(x)];
        const unsigned k = ink_left(cmyk[3]);
        for (int i = 0; i < 3; ++i) rgb[3 * x + i] = static_cast<std::uint8_t>((ink_left(cmyk[i]) * k + 127) / 255);
    }
}

void JpegReader::read_rows(std::uint8_t* rgb, std::ptrdiff_t step, std::int32_t count) {
    const JDIMENSION done = c_->library.output_scanline;
    if (count < 0 || static_cast<std::uint32_t>(count) > c_->library.output_height - done)
        throw std::out_of_range("more rows asked for than the picture has");
    for (std::int32_t i = 0; i < count; ++i) {
        std::uint8_t* out = rgb + i * step;
        c_->row = cmyk_ ? cmyk_row_.data() : out;
        run(read_row);
        if (cmyk_) cmyk_to_rgb(out);
    }
    if (count > 0 && c_->library.output_scanline == c_->library.output_height) run(finish_file);
}

}  // namespace

std::unique_ptr<PictureReader> open_jpeg(ByteSource& source, std::int64_t max_pixels) {
    return std::make_unique<JpegReader>(source, max_pixels);
}

}  // namespace orvessa::codecs
