// A fake of the platform services for the logic's tests: every call is
// recorded with its arguments, any service can be made to fail, and the
// test can see what is alive (pictures, memory contexts) at any moment.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "orvessa/error.hpp"
#include "orvessa/pixel_layout.hpp"
#include "platform/platform.hpp"

namespace orvessa::test {

constexpr std::int32_t fake_failure = static_cast<std::int32_t>(0x800A0035u);  // file not found
constexpr std::int32_t fake_bitmap = 0x5150;
constexpr std::int32_t fake_memory_dc = 0x7D0;

struct Paint {
    std::int32_t hdc;
    int dest_x, dest_y, dest_width, dest_height;
    int src_x, src_y, src_width, src_height;
    std::vector<std::uint8_t> bits;  // the header's stride * |height| bytes at the call
    BitmapInfo info;
    std::uint32_t usage, rop;
};

class FakePlatform : public Platform {
public:
    // The loaded picture's properties.
    std::int32_t himetric_width = 106;  // 4 pixels at 96 per inch
    std::int32_t himetric_height = 79;  // 3 pixels
    std::int32_t bitmap = fake_bitmap;
    // The name of the one call that fails: "load_picture", "himetric_width",
    // "himetric_height", "handle", "conversion_form", "scale_x", "scale_y".
    std::string fail_at;
    // The form's conversion; the default is 96 pixels per inch.
    std::function<float(float)> form_x = [](float h) { return static_cast<float>(h * 96.0 / 2540.0); };
    std::function<float(float)> form_y = [](float h) { return static_cast<float>(h * 96.0 / 2540.0); };
    // What GetDIBits writes: rows bottom-up in the header's layout. Empty: the read fails.
    std::function<void(std::uint8_t* bits, const BitmapInfo& info, std::uint32_t lines)> fill;

    std::vector<std::string> calls;
    std::vector<Paint> paints;
    std::map<std::int32_t, int> stretch_modes;
    int pictures_alive = 0;
    int dcs_alive = 0;
    int forms_created = 0;

    std::unique_ptr<LoadedPicture> load_picture(const std::u16string& file_name) override {
        calls.push_back("load_picture(" + std::string(file_name.begin(), file_name.end()) + ")");
        fail_if("load_picture");
        return std::make_unique<FakePicture>(*this);
    }

    ConversionForm& conversion_form() override {
        fail_if("conversion_form");
        if (!form_) {
            form_ = std::make_unique<FakeForm>(*this);
            ++forms_created;
        }
        return *form_;
    }

    DeviceContext create_compatible_dc() override {
        calls.push_back("create_compatible_dc");
        ++dcs_alive;
        return fake_memory_dc;
    }

    int get_dibits(DeviceContext dc, std::int32_t bm, std::uint32_t start, std::uint32_t lines,
                   void* bits, BitmapInfo& info, std::uint32_t usage) override {
        calls.push_back("get_dibits(" + std::to_string(dc) + "," + std::to_string(bm) + "," +
                        std::to_string(start) + "," + std::to_string(lines) + "," +
                        std::to_string(info.header.width) + "x" +
                        std::to_string(info.header.height) + "," + std::to_string(usage) + ")");
        if (!fill) return 0;
        fill(static_cast<std::uint8_t*>(bits), info, lines);
        return static_cast<int>(lines);
    }

    int delete_dc(DeviceContext dc) override {
        calls.push_back("delete_dc(" + std::to_string(dc) + ")");
        --dcs_alive;
        return 1;
    }

    int set_stretch_blt_mode(std::int32_t hdc, int mode) override {
        calls.push_back("set_stretch_blt_mode(" + std::to_string(hdc) + "," + std::to_string(mode) + ")");
        const int previous = stretch_modes.count(hdc) ? stretch_modes[hdc] : 1;
        stretch_modes[hdc] = mode;
        return previous;
    }

    int stretch_dibits(std::int32_t hdc, int dest_x, int dest_y, int dest_width, int dest_height,
                       int src_x, int src_y, int src_width, int src_height, const void* bits,
                       const BitmapInfo& info, std::uint32_t usage, std::uint32_t rop) override {
        calls.push_back("stretch_dibits(" + std::to_string(hdc) + ")");
        Paint paint{hdc, dest_x, dest_y, dest_width, dest_height, src_x, src_y, src_width,
                    src_height, {}, info, usage, rop};
        const std::int64_t stride = row_stride(info.header.width);
        const std::int64_t rows = info.header.height < 0 ? -std::int64_t{info.header.height}
                                                         : info.header.height;
        if (stride > 0 && rows > 0) {
            const auto* p = static_cast<const std::uint8_t*>(bits);
            paint.bits.assign(p, p + stride * rows);
        }
        paints.push_back(std::move(paint));
        return src_height;
    }

private:
    void fail_if(const std::string& step) {
        if (fail_at == step) throw Error::platform(fake_failure, "fake failure at " + step);
    }

    class FakePicture : public LoadedPicture {
    public:
        explicit FakePicture(FakePlatform& p) : p_(p) { ++p_.pictures_alive; }
        ~FakePicture() override {
            --p_.pictures_alive;
            p_.calls.push_back("release_picture");
        }
        std::int32_t handle() override { return read("handle", p_.bitmap); }
        std::int32_t himetric_width() override { return read("himetric_width", p_.himetric_width); }
        std::int32_t himetric_height() override { return read("himetric_height", p_.himetric_height); }

    private:
        std::int32_t read(const std::string& name, std::int32_t value) {
            p_.calls.push_back(name);
            p_.fail_if(name);
            return value;
        }
        FakePlatform& p_;
    };

    class FakeForm : public ConversionForm {
    public:
        explicit FakeForm(FakePlatform& p) : p_(p) {}
        float scale_x(float h) override { return convert("scale_x", h, p_.form_x); }
        float scale_y(float h) override { return convert("scale_y", h, p_.form_y); }

    private:
        float convert(const std::string& name, float h, const std::function<float(float)>& f) {
            p_.calls.push_back(name + "(" + std::to_string(h) + ")");
            p_.fail_if(name);
            return f(h);
        }
        FakePlatform& p_;
    };

    std::unique_ptr<ConversionForm> form_;
};

}  // namespace orvessa::test
