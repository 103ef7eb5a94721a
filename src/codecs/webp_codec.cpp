#include "codecs/webp_codec.hpp"

#include <webp/decode.h>
#include <webp/demux.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <new>
#include <stdexcept>
#include <vector>

#include "codecs/exif.hpp"

namespace orvessa::codecs {
namespace {

struct DemuxDeleter {
    void operator()(WebPDemuxer* demux) const noexcept { WebPDemuxDelete(demux); }
};
struct AnimDeleter {
    void operator()(WebPAnimDecoder* decoder) const noexcept { WebPAnimDecoderDelete(decoder); }
};
struct MuxDeleter {
    void operator()(WebPMux* mux) const noexcept { WebPMuxDelete(mux); }
};

[[noreturn]] void decode_failed(VP8StatusCode status) {
    switch (status) {
        case VP8_STATUS_OUT_OF_MEMORY: throw std::bad_alloc();
        case VP8_STATUS_NOT_ENOUGH_DATA:
        case VP8_STATUS_SUSPENDED:  // a partition that the data cannot hold
            throw BadPicture("the pixel data ends early");
        case VP8_STATUS_BITSTREAM_ERROR: throw BadPicture("the pixel data is corrupt");
        case VP8_STATUS_UNSUPPORTED_FEATURE: throw BadPicture("the file uses a feature the decoder lacks");
        default: throw BadPicture("the WebP decoder failed");
    }
}

std::uint32_t le32(const std::uint8_t* b) noexcept { return b[0] | b[1] << 8 | b[2] << 16 | std::uint32_t{b[3]} << 24; }

// A metadata chunk's bytes; none where it is absent.
std::vector<std::uint8_t> chunk(const WebPDemuxer* demux, const char* fourcc) {
    WebPChunkIterator it;
    if (!WebPDemuxGetChunk(demux, fourcc, 1, &it)) return {};
    std::vector<std::uint8_t> bytes(it.chunk.bytes, it.chunk.bytes + it.chunk.size);
    WebPDemuxReleaseChunkIterator(&it);
    return bytes;
}

class WebpReader final : public PictureReader {
public:
    WebpReader(ByteSource& source, std::int64_t max_pixels) {
        // The head first: the size is checked before the file is taken in.
        file_.resize(64);
        file_.resize(read_fully(source, file_.data(), file_.size()));
        if (file_.size() < 12 || std::memcmp(file_.data(), "RIFF", 4) != 0 || std::memcmp(file_.data() + 8, "WEBP", 4) != 0)
            throw BadPicture("not a WebP file");
        WebPBitstreamFeatures features;
        const VP8StatusCode status = WebPGetFeatures(file_.data(), file_.size(), &features);
        if (status == VP8_STATUS_NOT_ENOUGH_DATA) throw BadPicture("the head ends early");
        if (status != VP8_STATUS_OK) throw BadPicture("the head is broken");
        check_size(features.width, features.height, max_pixels);
        info_.width = features.width;
        info_.height = features.height;
        animated_ = features.has_animation;

        // The RIFF size says where the file ends; it is read as it comes, so
        // that a false size allocates nothing.
        const std::uint64_t total = std::uint64_t{le32(file_.data() + 4)} + 8;
        if (const auto length = source.length(); length && *length >= total) file_.reserve(total);
        while (file_.size() < total) {
            const std::size_t had = file_.size();
            file_.resize(had + std::min<std::uint64_t>(total - had, 1 << 20));
            const std::size_t n = read_fully(source, file_.data() + had, file_.size() - had);
            file_.resize(had + n);
            if (n == 0) throw BadPicture("the file ends early");
        }
        file_.resize(std::min<std::uint64_t>(file_.size(), total));

        const WebPData data{file_.data(), file_.size()};
        const std::unique_ptr<WebPDemuxer, DemuxDeleter> demux(WebPDemux(&data));
        if (!demux) throw BadPicture("the file's chunks are broken");
        if (WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_WIDTH) != static_cast<std::uint32_t>(info_.width) ||
            WebPDemuxGetI(demux.get(), WEBP_FF_CANVAS_HEIGHT) != static_cast<std::uint32_t>(info_.height))
            throw BadPicture("the head is broken");
        info_.icc = chunk(demux.get(), "ICCP");
        info_.exif = chunk(demux.get(), "EXIF");
        // Some writers keep JPEG's prefix.
        if (info_.exif.size() >= 6 && std::memcmp(info_.exif.data(), "Exif\0\0", 6) == 0)
            info_.exif.erase(info_.exif.begin(), info_.exif.begin() + 6);
        info_.orientation = exif_orientation(info_.exif);
        // The whole file's features: alpha may be told by an ALPH chunk only.
        if (WebPGetFeatures(file_.data(), file_.size(), &features) != VP8_STATUS_OK || features.width != info_.width ||
            features.height != info_.height)
            throw BadPicture("the head is broken");
        alpha_ = features.has_alpha || animated_;
    }

    void read_rows(std::uint8_t* rgb, std::ptrdiff_t step, std::int32_t count) override {
        if (count < 0 || count > info_.height - next_row_) throw std::logic_error("more rows asked than the picture has");
        if (!pixels_) animated_ ? decode_first_frame() : decode_still();
        const std::size_t channels = alpha_ ? 4 : 3;
        for (std::int32_t i = 0; i < count; ++i, ++next_row_) {
            const std::uint8_t* in = pixels_ + static_cast<std::size_t>(next_row_) * info_.width * channels;
            std::uint8_t* out = rgb + i * step;
            if (!alpha_) {
                std::memcpy(out, in, static_cast<std::size_t>(info_.width) * 3);
                continue;
            }
            for (std::int32_t x = 0; x < info_.width; ++x, in += 4, out += 3) {
                for (int c = 0; c < 3; ++c) out[c] = over_white(in[c], in[3]);
            }
        }
    }

private:
    static std::size_t read_fully(ByteSource& source, std::uint8_t* into, std::size_t size) {
        std::size_t n = 0;
        for (std::size_t got = 1; n < size && got > 0; n += got) got = source.read(into + n, size - n);
        return n;
    }

    // Decoded whole into R, G, B (A), which is then all that is kept.
    void decode_still() {
        const std::size_t channels = alpha_ ? 4 : 3;
        decoded_.resize(static_cast<std::size_t>(info_.width) * info_.height * channels);
        WebPDecoderConfig config;
        if (!WebPInitDecoderConfig(&config)) throw std::logic_error("libwebp does not match its headers");
        config.output.colorspace = alpha_ ? MODE_RGBA : MODE_RGB;
        config.output.is_external_memory = 1;
        config.output.u.RGBA.rgba = decoded_.data();
        config.output.u.RGBA.stride = static_cast<int>(info_.width * channels);
        config.output.u.RGBA.size = decoded_.size();
        const VP8StatusCode status = WebPDecode(file_.data(), file_.size(), &config);
        WebPFreeDecBuffer(&config.output);  // owns nothing here; released all the same
        if (status != VP8_STATUS_OK) decode_failed(status);
        std::vector<std::uint8_t>().swap(file_);
        pixels_ = decoded_.data();
    }

    // The decoder composes the frame on the canvas (and keeps both).
    void decode_first_frame() {
        WebPAnimDecoderOptions options;
        if (!WebPAnimDecoderOptionsInit(&options)) throw std::logic_error("libwebp does not match its headers");
        options.color_mode = MODE_RGBA;
        options.use_threads = 0;
        const WebPData data{file_.data(), file_.size()};
        animation_.reset(WebPAnimDecoderNew(&data, &options));
        if (!animation_) throw BadPicture("the animation is broken");
        WebPAnimInfo anim;
        if (!WebPAnimDecoderGetInfo(animation_.get(), &anim) || anim.canvas_width != static_cast<std::uint32_t>(info_.width) ||
            anim.canvas_height != static_cast<std::uint32_t>(info_.height))
            throw BadPicture("the animation is broken");
        std::uint8_t* canvas = nullptr;
        int timestamp = 0;
        if (!WebPAnimDecoderGetNext(animation_.get(), &canvas, &timestamp) || !canvas)
            throw BadPicture("the first frame is corrupt or ends early");
        pixels_ = canvas;
    }

    std::vector<std::uint8_t> file_;     // until decoded; an animation's decoder keeps using it
    std::vector<std::uint8_t> decoded_;  // a still picture
    std::unique_ptr<WebPAnimDecoder, AnimDeleter> animation_;
    const std::uint8_t* pixels_ = nullptr;
    bool animated_ = false, alpha_ = false;
    std::int32_t next_row_ = 0;
};

// WebPEncode's output gathered in memory; a failure is kept for after the call.
struct Output {
    std::vector<std::uint8_t> bytes;
    std::exception_ptr failure;
};

int gather_bytes(const std::uint8_t* data, std::size_t size, const WebPPicture* picture) noexcept {
    auto* output = static_cast<Output*>(picture->custom_ptr);
    try {
        output->bytes.insert(output->bytes.end(), data, data + size);
        return 1;
    } catch (...) {
        output->failure = std::current_exception();
        return 0;
    }
}

struct PictureFreer {
    void operator()(WebPPicture* picture) const noexcept { WebPPictureFree(picture); }
};
struct DataClearer {
    void operator()(WebPData* data) const noexcept { WebPDataClear(data); }
};

constexpr std::int32_t kWebpMaxSide = 16383;

class WebpWriter final : public PictureWriter {
public:
    WebpWriter(ByteSink& sink, const PictureInfo& info, int quality)
        : sink_(sink), info_(info), quality_(std::clamp(quality, 0, 100)) {
        if (info.width <= 0 || info.height <= 0) throw CannotWrite("the picture has no pixels");
        if (info.width > kWebpMaxSide || info.height > kWebpMaxSide)
            throw CannotWrite("WebP holds at most 16383 x 16383 pixels");
        rgb_.resize(static_cast<std::size_t>(info.width) * info.height * 3);
    }

    void write_rows(const std::uint8_t* rgb, std::ptrdiff_t step, std::int32_t count) override {
        if (count < 0 || count > info_.height - rows_) throw std::logic_error("more rows given than the picture has");
        const std::size_t row_bytes = static_cast<std::size_t>(info_.width) * 3;
        for (std::int32_t i = 0; i < count; ++i, ++rows_)
            std::memcpy(rgb_.data() + rows_ * row_bytes, rgb + i * step, row_bytes);
    }

    void finish() override {
        if (rows_ != info_.height) throw std::logic_error("fewer rows given than the picture has");
        Output output = encode();
        const std::vector<std::uint8_t> exif = exif_to_write(info_);
        if (exif.empty() && info_.icc.empty()) {
            sink_.write(output.bytes.data(), output.bytes.size());
            return;
        }
        // The chunks go in through the container library, which adds VP8X.
        const WebPData image{output.bytes.data(), output.bytes.size()};
        const std::unique_ptr<WebPMux, MuxDeleter> mux(WebPMuxCreate(&image, 0));
        if (!mux) throw std::bad_alloc();
        const auto set = [&](const char* fourcc, const std::vector<std::uint8_t>& bytes) {
            const WebPData data{bytes.data(), bytes.size()};
            if (!bytes.empty()) check(WebPMuxSetChunk(mux.get(), fourcc, &data, 0));
        };
        set("ICCP", info_.icc);
        set("EXIF", exif);
        WebPData assembled;
        WebPDataInit(&assembled);
        const std::unique_ptr<WebPData, DataClearer> owner(&assembled);
        check(WebPMuxAssemble(mux.get(), &assembled));
        sink_.write(assembled.bytes, assembled.size);
    }

private:
    static void check(WebPMuxError error) {
        if (error == WEBP_MUX_MEMORY_ERROR) throw std::bad_alloc();
        if (error != WEBP_MUX_OK) throw CannotWrite("the EXIF block or colour profile could not be added");
    }

    Output encode() {
        WebPConfig config;
        if (!WebPConfigInit(&config)) throw std::logic_error("libwebp does not match its headers");
        config.quality = static_cast<float>(quality_);
        config.method = 4;
        config.lossless = 0;
        if (!WebPValidateConfig(&config)) throw std::logic_error("a WebP setting is out of range");

        WebPPicture picture;
        if (!WebPPictureInit(&picture)) throw std::logic_error("libwebp does not match its headers");
        const std::unique_ptr<WebPPicture, PictureFreer> owner(&picture);
        picture.width = info_.width;
        picture.height = info_.height;
        if (!WebPPictureImportRGB(&picture, rgb_.data(), info_.width * 3)) throw std::bad_alloc();
        std::vector<std::uint8_t>().swap(rgb_);  // the encoder holds its own copy now

        Output output;
        picture.writer = gather_bytes;
        picture.custom_ptr = &output;
        if (!WebPEncode(&config, &picture)) {
            if (output.failure) std::rethrow_exception(output.failure);
            if (picture.error_code == VP8_ENC_ERROR_OUT_OF_MEMORY || picture.error_code == VP8_ENC_ERROR_BITSTREAM_OUT_OF_MEMORY)
                throw std::bad_alloc();
            throw CannotWrite("the WebP encoder failed");
        }
        return output;
    }

    ByteSink& sink_;
    PictureInfo info_;
    int quality_;
    std::vector<std::uint8_t> rgb_;  // the encoder takes the whole picture
    std::int32_t rows_ = 0;
};

}  // namespace

std::unique_ptr<PictureReader> open_webp(ByteSource& source, std::int64_t max_pixels) {
    return std::make_unique<WebpReader>(source, max_pixels);
}

std::unique_ptr<PictureWriter> webp_writer(ByteSink& sink, const PictureInfo& info, int quality) {
    return std::make_unique<WebpWriter>(sink, info, quality);
}

}  // namespace orvessa::codecs
