// The platform services on Linux: the codecs decode the pictures, memory
// surfaces stand in for device contexts, and the conversion form works at a
// logical resolution the embedding program sets (96 per inch by default).
#include <algorithm>
#include <atomic>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "orvessa/argument_rules.hpp"
#include "orvessa/error.hpp"
#include "orvessa/linux_platform.hpp"
#include "platform/linux/dib_shape.hpp"
#include "platform/linux/handle_table.hpp"
#include "platform/platform.hpp"
#include "platform/linux/software_dc.hpp"
#include "platform/linux/picture_reading.hpp"
#include "platform/linux/utf_text.hpp"

namespace orvessa {

namespace {

constexpr std::int32_t bad_file_name = control_hresult(52);

std::atomic<std::int32_t> resolution_x{96};
std::atomic<std::int32_t> resolution_y{96};

platform::HandleTable<platform::BgrImage>& bitmaps() {
    static platform::HandleTable<platform::BgrImage> table;
    return table;
}

// A bitmap's extent in HIMETRIC as an OLE picture reports it: pixels at 96
// per inch, rounded to nearest (halves up, as MulDiv does).
std::int32_t himetric_of_pixels(std::int32_t pixels) {
    return static_cast<std::int32_t>((static_cast<std::int64_t>(pixels) * 2540 + 48) / 96);
}

std::string utf8_file_name(const std::u16string& name) {
    if (name.find(u'\0') != std::u16string::npos) {
        throw Error::platform(bad_file_name, "Bad file name: it holds a NUL character");
    }
    std::optional<std::string> utf8 = platform::utf16_to_utf8(name);
    if (!utf8) throw Error::platform(bad_file_name, "Bad file name: it is not valid UTF-16");
    return std::move(*utf8);
}

class DecodedBitmap : public LoadedPicture {
public:
    explicit DecodedBitmap(platform::BgrImage decoded)
        : width_(decoded.width),
          height_(decoded.height),
          handle_(bitmaps().add(std::make_shared<platform::BgrImage>(std::move(decoded)))) {}
    ~DecodedBitmap() override { bitmaps().remove(handle_); }
    DecodedBitmap(const DecodedBitmap&) = delete;
    DecodedBitmap& operator=(const DecodedBitmap&) = delete;

    std::int32_t handle() override { return handle_; }
    std::int32_t himetric_width() override { return himetric_of_pixels(width_); }
    std::int32_t himetric_height() override { return himetric_of_pixels(height_); }

private:
    std::int32_t width_, height_;
    std::int32_t handle_;
};

class ResolutionForm : public ConversionForm {
public:
    float scale_x(float himetric) override { return himetric_to_pixels(himetric, resolution_x.load()); }
    float scale_y(float himetric) override { return himetric_to_pixels(himetric, resolution_y.load()); }
};

class LinuxPlatform : public Platform {
public:
    std::unique_ptr<LoadedPicture> load_picture(const std::u16string& file_name) override {
        return std::make_unique<DecodedBitmap>(
            platform::decode_picture_file(utf8_file_name(file_name), max_picture_pixels));
    }

    ConversionForm& conversion_form() override {
        thread_local std::unique_ptr<ResolutionForm> form;
        if (!form) form = std::make_unique<ResolutionForm>();
        return *form;
    }

    DeviceContext create_compatible_dc() override {
        auto memory = std::make_shared<SurfaceData>();
        memory->memory = true;
        return platform::device_contexts().add(std::move(memory));
    }

    // Scan line j is the bitmap's j-th row from the bottom; it goes to row
    // j - start_scan of the buffer. Columns past either width stay as they are.
    int get_dibits(DeviceContext dc, std::int32_t bitmap, std::uint32_t start_scan,
                   std::uint32_t scan_lines, void* bits, BitmapInfo& info,
                   std::uint32_t usage) override {
        const auto shape = platform::dib_shape(info, usage);
        const auto picture = bitmaps().find(bitmap);
        if (!shape || !picture || bits == nullptr || !known_dc(dc)) return 0;
        const std::int64_t bitmap_rows = picture->height;
        const auto columns = static_cast<std::size_t>(std::min<std::int64_t>(shape->width, picture->width));
        const std::int64_t end = std::min({static_cast<std::int64_t>(start_scan) + scan_lines,
                                           bitmap_rows, shape->rows});
        auto* out = static_cast<std::uint8_t*>(bits);
        int copied = 0;
        for (std::int64_t j = start_scan; j < end; ++j, ++copied) {
            // A top-down buffer holds the scan lines from the top instead.
            const std::int64_t from_top = shape->top_down ? j : bitmap_rows - 1 - j;
            std::memcpy(out + (j - start_scan) * shape->stride,
                        picture->row(static_cast<std::int32_t>(from_top)), 3 * columns);
        }
        return copied;
    }

    int delete_dc(DeviceContext dc) override {
        const auto data = find_dc(dc);
        // A surface belongs to its Surface object; only memory contexts go here.
        return data && data->memory && platform::device_contexts().remove(static_cast<std::int32_t>(dc));
    }

    int set_stretch_blt_mode(std::int32_t hdc, int mode) override {
        const auto data = find_dc(hdc);
        if (!data || mode < 1 || mode > 4) return 0;
        const std::lock_guard lock(data->mutex);
        return std::exchange(data->stretch_mode, mode);
    }

    int stretch_dibits(std::int32_t hdc, int dest_x, int dest_y, int dest_width, int dest_height,
                       int src_x, int src_y, int src_width, int src_height, const void* bits,
                       const BitmapInfo& info, std::uint32_t usage, std::uint32_t rop) override {
        const auto data = find_dc(hdc);
        if (!data) return 0;
        return platform::stretch_dib_onto(*data, dest_x, dest_y, dest_width, dest_height, src_x,
                                          src_y, src_width, src_height, bits, info, usage, rop);
    }

private:
    static std::shared_ptr<SurfaceData> find_dc(DeviceContext dc) {
        if (dc <= 0 || dc > INT32_MAX) return nullptr;
        return platform::device_contexts().find(static_cast<std::int32_t>(dc));
    }
    static bool known_dc(DeviceContext dc) { return find_dc(dc) != nullptr; }
};

}  // namespace

Platform& default_platform() {
    static LinuxPlatform platform;
    return platform;
}

void set_logical_resolution(std::int32_t x, std::int32_t y) {
    const std::int32_t per_inch_x = checked_dpi(x), per_inch_y = checked_dpi(y);
    resolution_x = per_inch_x;
    resolution_y = per_inch_y;
}

std::optional<std::u16string> utf16_file_name(std::string_view path) {
    return platform::utf8_to_utf16(path);
}

}  // namespace orvessa
