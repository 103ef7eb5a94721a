// Opening a picture file: its format decided from its first bytes and only
// that format's reader handed them, its declared size checked before any
// pixel is decoded, and the codecs' failures turned into errors that name
// the file.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "codecs/picture_codec.hpp"
#include "platform/linux/descriptor_bytes.hpp"
#include "platform/linux/input_file.hpp"
#include "platform/linux/row_pipeline.hpp"
#include "platform/linux/unique_fd.hpp"

namespace orvessa::platform {

// A picture being read: its rows come from its reader in order.
class OpenedPicture : public RowSource {
public:
    // The picture on descriptor `fd` (a regular file or a pipe, left open).
    // Raises Error naming `name`: out of memory (7: more than max_pixels
    // pixels), invalid picture (481: empty, of no format read here, its head
    // broken), 75 when the bytes cannot be read.
    OpenedPicture(int fd, std::string name, std::int64_t max_pixels);
    const codecs::PictureInfo& info() const noexcept { return reader_->info(); }
    const std::string& name() const noexcept { return name_; }
    // Raises Error (481) for pixels cut short or corrupt, naming the file.
    void read_rows(std::uint8_t* rgb, std::ptrdiff_t step, std::int32_t count) override;

private:
    std::string name_;
    DescriptorSource source_;
    std::string_view format_;
    std::unique_ptr<codecs::PictureReader> reader_;  // reads source_
};

// Puts the stored row y of a width x height picture (pixel_bytes a pixel)
// where it lies once the picture is turned upright by `orientation`; the
// upright picture (height x width for 5 to 8) has rows out_step apart.
void place_upright(const std::uint8_t* row, std::int32_t y, std::int32_t width, std::int32_t height,
                   int orientation, int pixel_bytes, std::uint8_t* out, std::ptrdiff_t out_step) noexcept;

// The picture decoded whole: height rows of 3 * width bytes B, G, R, from the top.
struct BgrImage {
    std::int32_t width = 0, height = 0;
    std::vector<std::uint8_t> bgr;
    const std::uint8_t* row(std::int32_t y) const noexcept {
        return bgr.data() + static_cast<std::size_t>(y) * 3 * width;
    }
};

// Reads a regular file whole and upright, with OpenedPicture's limit and codes.
BgrImage decode_picture_file(const std::string& path, std::int64_t max_pixels);

}  // namespace orvessa::platform
