#include "canvas.hpp"

#include <olectl.h>
#include <shlwapi.h>


#include <gtest/gtest.h>

namespace orvessa::test {

Canvas::Canvas(int width, int height) : width_(width), height_(height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    dc_.reset(CreateCompatibleDC(nullptr));
    bitmap_.reset(CreateDIBSection(dc_.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    EXPECT_TRUE(dc_ && bitmap_);
    bits_ = static_cast<std::uint8_t*>(bits);
    previous_ = SelectObject(dc_.get(), bitmap_.get());
    for (int i = 0; i < width * height; ++i) {
        bits_[4 * i] = sentinel.b;
        bits_[4 * i + 1] = sentinel.g;
        bits_[4 * i + 2] = sentinel.r;
        bits_[4 * i + 3] = 0;
    }
}

Canvas::~Canvas() {
    // The bitmap must leave the DC before either goes.
    if (dc_) SelectObject(dc_.get(), previous_);
}

Rgb Canvas::at(int x, int y) const {
    GdiFlush();
    const std::uint8_t* p = bits_ + 4 * (static_cast<std::size_t>(y) * width_ + x);
    return {p[0], p[1], p[2]};
}

bool Canvas::untouched() const {
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) {
            if (!(at(x, y) == sentinel)) return false;
        }
    }
    return true;
}

namespace {
win32::ComPtr<IPicture> load(const std::wstring& path) {
    win32::ComPtr<IStream> stream;
    win32::ComPtr<IPicture> picture;
    if (SUCCEEDED(SHCreateStreamOnFileW(path.c_str(), STGM_READ, stream.put()))) {
        OleLoadPicture(stream.get(), 0, FALSE, IID_IPicture, picture.put_void());
    }
    return picture;
}
}  // namespace

Pixels read_ole_picture(const std::wstring& path) {
    Pixels out;
    win32::ComPtr<IPicture> picture = load(path);
    OLE_HANDLE handle = 0;
    if (!picture || FAILED(picture->get_Handle(&handle))) return out;
    BITMAP bm{};
    const auto bitmap = reinterpret_cast<HBITMAP>(static_cast<ULONG_PTR>(handle));
    if (GetObjectW(bitmap, sizeof bm, &bm) == 0) return out;
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), bm.bmWidth, -bm.bmHeight, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    const auto stride = static_cast<std::size_t>(row_stride(bm.bmWidth));
    std::vector<std::uint8_t> bits(stride * bm.bmHeight);
    const win32::UniqueDc dc(CreateCompatibleDC(nullptr));
    if (GetDIBits(dc.get(), bitmap, 0, bm.bmHeight, bits.data(), &info, DIB_RGB_COLORS) != bm.bmHeight) {
        return out;
    }
    out.width = bm.bmWidth;
    out.height = bm.bmHeight;
    for (int y = 0; y < bm.bmHeight; ++y) {
        for (int x = 0; x < bm.bmWidth; ++x) {
            const std::uint8_t* p = &bits[y * stride + 3 * x];
            out.pixels.push_back({p[0], p[1], p[2]});
        }
    }
    return out;
}

SIZE himetric_size(const std::wstring& path) {
    SIZE size{-1, -1};
    win32::ComPtr<IPicture> picture = load(path);
    if (picture) {
        picture->get_Width(&size.cx);
        picture->get_Height(&size.cy);
    }
    return size;
}

unsigned gdi_handle_mark() {
    const win32::UniqueDc dc(CreateCompatibleDC(nullptr));
    return LOWORD(reinterpret_cast<ULONG_PTR>(dc.get()));
}

unsigned kernel_handle_mark() {
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    const auto value = static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(event));
    CloseHandle(event);
    return value;
}

}  // namespace orvessa::test
