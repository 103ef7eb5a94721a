#include "codecs/pnm_codec.hpp"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace orvessa::codecs {
namespace {

constexpr int kEnd = -1;

bool is_space(int c) noexcept { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
bool is_digit(int c) noexcept { return c >= '0' && c <= '9'; }

// The source through a buffer: the head and ASCII samples are read a byte at
// a time.
class Input {
public:
    explicit Input(ByteSource& source) : source_(source) {}

    int peek() { return at_ == end_ && !fill() ? kEnd : buffer_[at_]; }
    int get() { return at_ == end_ && !fill() ? kEnd : buffer_[at_++]; }

    // False where the file ends first.
    bool read(std::uint8_t* into, std::size_t size) {
        const std::size_t buffered = std::min(size, end_ - at_);
        std::memcpy(into, buffer_.data() + at_, buffered);
        at_ += buffered;
        if (buffered == size) return true;
        const std::size_t n = source_.read(into + buffered, size - buffered);
        consumed_ += n;
        return n == size - buffered;
    }

    // Where the next byte lies in the file.
    std::uint64_t position() const noexcept { return consumed_ - (end_ - at_); }

private:
    bool fill() {
        end_ = source_.read(buffer_.data(), buffer_.size());
        at_ = 0;
        consumed_ += end_;
        return end_ > 0;
    }

    ByteSource& source_;
    std::array<std::uint8_t, 1 << 16> buffer_{};
    std::size_t at_ = 0, end_ = 0;
    std::uint64_t consumed_ = 0;
};

// White space and comments, from '#' to the end of the line.
void skip_space(Input& in) {
    for (int c = in.peek(); c != kEnd; c = in.peek()) {
        if (c == '#') {
            while (c != '\n' && c != '\r' && c != kEnd) c = in.get();
        } else if (is_space(c)) {
            in.get();
        } else {
            return;
        }
    }
}

enum class Token { number, end, garbage, too_large };

// A decimal number of at most INT32_MAX, ending at white space, a comment or
// the end of the file.
Token next_number(Input& in, std::int64_t& value) {
    skip_space(in);
    int c = in.peek();
    if (c == kEnd) return Token::end;
    if (!is_digit(c)) return Token::garbage;
    value = 0;
    for (; is_digit(c); c = in.peek()) {
        value = value * 10 + (in.get() - '0');
        if (value > INT32_MAX) return Token::too_large;
    }
    return c == kEnd || c == '#' || is_space(c) ? Token::number : Token::garbage;
}

std::int64_t head_number(Input& in) {
    std::int64_t value = 0;
    switch (next_number(in, value)) {
        case Token::number: return value;
        case Token::end: throw BadPicture("the head ends early");
        case Token::too_large: throw BadPicture("a number in the head is out of range");
        default: throw BadPicture("the head is broken");
    }
}

// A float map's scale: its sign gives the byte order.
double head_scale(Input& in) {
    skip_space(in);
    std::string text;
    for (int c = in.peek(); c != kEnd && !is_space(c) && text.size() < 64; c = in.peek()) text += static_cast<char>(in.get());
    double scale = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), scale);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(scale) || scale == 0)
        throw BadPicture("the scale in the head is broken");
    return scale;
}

std::uint8_t float_to_byte(float v) noexcept {
    const double x = static_cast<double>(v) * 255;
    if (!(x > 0)) return 0;  // NaN too
    if (x >= 255) return 255;
    return static_cast<std::uint8_t>(std::lround(x));
}

enum class Kind { ascii_bits, ascii, bits, binary, floats };

class PnmReader final : public PictureReader {
public:
    PnmReader(ByteSource& source, std::int64_t max_pixels) : source_(source), in_(source) { read_head(max_pixels); }

    void read_rows(std::uint8_t* rgb, std::ptrdiff_t step, std::int32_t count) override {
        if (count < 0 || count > info_.height - next_row_) throw std::logic_error("more rows asked than the picture has");
        for (std::int32_t i = 0; i < count; ++i, ++next_row_) {
            std::uint8_t* out = rgb + i * step;
            switch (kind_) {
                case Kind::ascii_bits: ascii_bits_row(out); break;
                case Kind::ascii: ascii_row(out); break;
                case Kind::bits: bits_row(out); break;
                case Kind::binary: binary_row(out); break;
                case Kind::floats: float_row(out); break;
            }
        }
    }

private:
    void read_head(std::int64_t max_pixels) {
        if (in_.get() != 'P') throw BadPicture("not a Netpbm file");
        const int magic = in_.get();
        switch (magic) {
            case '1': case '4': kind_ = magic == '1' ? Kind::ascii_bits : Kind::bits; channels_ = 1; break;
            case '2': case '5': kind_ = magic == '2' ? Kind::ascii : Kind::binary; channels_ = 1; break;
            case '3': case '6': kind_ = magic == '3' ? Kind::ascii : Kind::binary; channels_ = 3; break;
            case 'F': case 'f': kind_ = Kind::floats; channels_ = magic == 'F' ? 3 : 1; break;
            default: throw BadPicture("not a Netpbm file");
        }
        if (!is_space(in_.peek()) && in_.peek() != '#') throw BadPicture("not a Netpbm file");
        const std::int64_t width = head_number(in_);
        const std::int64_t height = head_number(in_);
        check_size(width, height, max_pixels);
        info_.width = static_cast<std::int32_t>(width);
        info_.height = static_cast<std::int32_t>(height);

        if (kind_ == Kind::floats) {
            little_endian_ = head_scale(in_) < 0;
        } else if (kind_ == Kind::ascii || kind_ == Kind::binary) {
            maxval_ = head_number(in_);
            if (maxval_ < 1 || maxval_ > 65535) throw BadPicture("the maximum value is out of range");
            // The full 16-bit range gives its high byte, as for every format;
            // any other maximum is scaled.
            scale_.resize(maxval_ + 1);
            for (std::int64_t v = 0; v <= maxval_; ++v)
                scale_[v] = static_cast<std::uint8_t>(maxval_ == 65535 ? v >> 8 : (v * 255 + maxval_ / 2) / maxval_);
        }
        // Binary data starts after one white-space byte.
        if (kind_ == Kind::bits || kind_ == Kind::binary || kind_ == Kind::floats) {
            const int c = in_.get();
            if (c == kEnd) throw BadPicture("the head ends early");
            if (!is_space(c)) throw BadPicture("the head is broken");
            data_at_ = in_.position();
        }

        std::size_t row_bytes = 0;
        if (kind_ == Kind::bits) row_bytes = (static_cast<std::size_t>(width) + 7) / 8;
        if (kind_ == Kind::binary) row_bytes = static_cast<std::size_t>(width) * channels_ * (maxval_ > 255 ? 2 : 1);
        if (kind_ == Kind::floats) row_bytes = static_cast<std::size_t>(width) * channels_ * 4;
        row_.resize(row_bytes);
    }

    static void put(std::uint8_t* out, std::int32_t x, std::uint8_t r, std::uint8_t g, std::uint8_t b) noexcept {
        out[3 * x] = r;
        out[3 * x + 1] = g;
        out[3 * x + 2] = b;
    }

    void ascii_bits_row(std::uint8_t* out) {
        for (std::int32_t x = 0; x < info_.width; ++x) {
            skip_space(in_);
            const int c = in_.get();
            if (c == kEnd) throw BadPicture("the pixel data ends early");
            if (c != '0' && c != '1') throw BadPicture("the pixel data is broken");
            const std::uint8_t v = c == '1' ? 0 : 255;  // 1 is black
            put(out, x, v, v, v);
        }
    }

    std::uint8_t ascii_sample() {
        std::int64_t value = 0;
        switch (next_number(in_, value)) {
            case Token::number:
                if (value > maxval_) throw BadPicture("a sample is above the maximum value");
                return scale_[value];
            case Token::end: throw BadPicture("the pixel data ends early");
            case Token::too_large: throw BadPicture("a sample is above the maximum value");
            default: throw BadPicture("the pixel data is broken");
        }
    }

    void ascii_row(std::uint8_t* out) {
        for (std::int32_t x = 0; x < info_.width; ++x) {
            const std::uint8_t r = ascii_sample();
            if (channels_ == 1) {
                put(out, x, r, r, r);
            } else {
                const std::uint8_t g = ascii_sample();
                put(out, x, r, g, ascii_sample());
            }
        }
    }

    void read_row() {
        if (!in_.read(row_.data(), row_.size())) throw BadPicture("the pixel data ends early");
    }

    void bits_row(std::uint8_t* out) {
        read_row();
        for (std::int32_t x = 0; x < info_.width; ++x) {
            const std::uint8_t v = row_[x / 8] >> (7 - x % 8) & 1 ? 0 : 255;
            put(out, x, v, v, v);
        }
    }

    void binary_row(std::uint8_t* out) {
        read_row();
        const std::size_t samples = static_cast<std::size_t>(info_.width) * channels_;
        std::uint8_t* sample = out;
        for (std::size_t i = 0; i < samples; ++i) {
            const std::int64_t v = maxval_ > 255 ? row_[2 * i] << 8 | row_[2 * i + 1] : row_[i];
            if (v > maxval_) throw BadPicture("a sample is above the maximum value");
            // Gray fills R, G, B.
            if (channels_ == 1) {
                sample[0] = sample[1] = sample[2] = scale_[v];
                sample += 3;
            } else {
                *sample++ = scale_[v];
            }
        }
    }

    void float_row(std::uint8_t* out) {
        // Rows are stored bottom first: a file that can be read anywhere gives
        // each row where it lies; a pipe is read whole at the first row.
        const std::int32_t stored = info_.height - 1 - next_row_;
        if (source_.length()) {
            if (source_.read_at(data_at_ + static_cast<std::uint64_t>(stored) * row_.size(), row_.data(), row_.size()) != row_.size())
                throw BadPicture("the pixel data ends early");
            float_to_rgb(out);
            return;
        }
        const std::size_t out_bytes = static_cast<std::size_t>(info_.width) * 3;
        if (next_row_ == 0) {
            whole_.resize(out_bytes * info_.height);
            for (std::int32_t y = info_.height - 1; y >= 0; --y) {
                read_row();
                float_to_rgb(whole_.data() + y * out_bytes);
            }
        }
        std::memcpy(out, whole_.data() + next_row_ * out_bytes, out_bytes);
    }

    void float_to_rgb(std::uint8_t* out) const noexcept {
        const std::size_t samples = static_cast<std::size_t>(info_.width) * channels_;
        for (std::size_t i = 0; i < samples; ++i) {
            const std::uint8_t* b = row_.data() + 4 * i;
            const std::uint32_t bits = little_endian_ ? b[0] | b[1] << 8 | b[2] << 16 | std::uint32_t{b[3]} << 24
                                                      : std::uint32_t{b[0]} << 24 | b[1] << 16 | b[2] << 8 | b[3];
            const std::uint8_t v = float_to_byte(std::bit_cast<float>(bits));
            if (channels_ == 1) {
                out[3 * i] = out[3 * i + 1] = out[3 * i + 2] = v;
            } else {
                out[i] = v;
            }
        }
    }

    ByteSource& source_;
    Input in_;
    Kind kind_ = Kind::binary;
    int channels_ = 1;
    std::int64_t maxval_ = 1;
    bool little_endian_ = false;
    std::vector<std::uint8_t> scale_;  // sample -> 0..255
    std::vector<std::uint8_t> row_;    // one stored row of a binary picture
    std::vector<std::uint8_t> whole_;  // a float map read from a pipe, as RGB
    std::uint64_t data_at_ = 0;
    std::int32_t next_row_ = 0;
};

}  // namespace

std::unique_ptr<PictureReader> open_pnm(ByteSource& source, std::int64_t max_pixels) {
    return std::make_unique<PnmReader>(source, max_pixels);
}

}  // namespace orvessa::codecs
