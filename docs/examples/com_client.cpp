// A C++ client of Orvessa.Pictava (docs/com-guide.md): creates the object,
// fills a byte array with a picture's pixels, runs both filters, catches
// their errors and paints a picture gray onto a device context.
//
//   com_client PICTURE.bmp
//
// Build (mingw-w64):  g++ com_client.cpp -o com_client.exe -I include -municode
//                     -lole32 -loleaut32 -luuid -lgdi32
// Build (MSVC):       cl /EHsc com_client.cpp /I include ole32.lib oleaut32.lib gdi32.lib user32.lib
// include/orvessa_idl.h is the interface header made from the type library.
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <memory>
#include <string>
#include <type_traits>

#include "orvessa_idl.h"

namespace {

// One owner for each resource, so that every path releases it.
struct Release {
    void operator()(IUnknown* p) const { p->Release(); }
};
template <class T>
using ComRef = std::unique_ptr<T, Release>;
struct FreeString {
    void operator()(BSTR s) const { SysFreeString(s); }
};
using String = std::unique_ptr<std::remove_pointer_t<BSTR>, FreeString>;
struct DestroyArray {
    void operator()(SAFEARRAY* a) const { SafeArrayDestroy(a); }
};
using Array = std::unique_ptr<SAFEARRAY, DestroyArray>;
struct DeleteDc {
    void operator()(HDC dc) const { DeleteDC(dc); }
};
using MemoryDc = std::unique_ptr<std::remove_pointer_t<HDC>, DeleteDc>;
struct DeleteGdiObject {
    void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
using GdiObject = std::unique_ptr<std::remove_pointer_t<HGDIOBJ>, DeleteGdiObject>;

class ComApartment {
public:
    ComApartment() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComApartment() {
        if (SUCCEEDED(hr_)) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    HRESULT status() const { return hr_; }

private:
    HRESULT hr_;
};

// The automation error number of a failed call (6 overflow, 7 out of
// memory, 9 subscript out of range) and the description the object set.
void report_error(HRESULT hr) {
    std::wstring description;
    IErrorInfo* raw = nullptr;
    if (GetErrorInfo(0, &raw) == S_OK) {
        const ComRef<IErrorInfo> info(raw);
        BSTR text = nullptr;
        if (SUCCEEDED(info->GetDescription(&text))) {
            const String owned(text);
            if (text) description = text;
        }
    }
    const bool numbered = HRESULT_FACILITY(hr) == FACILITY_CONTROL;
    std::printf("error %ld: %ls\n", numbered ? static_cast<long>(HRESULT_CODE(hr)) : static_cast<long>(hr),
                description.c_str());
}

// The picture's pixels in the layout the filters expect: 24 bits a pixel,
// bytes blue, green, red; each row padded to a multiple of four bytes;
// rows bottom-up (the array starts with the picture's bottom row).
Array read_pixels(HBITMAP bitmap, LONG& width, LONG& height) {
    BITMAP shape{};
    if (GetObjectW(bitmap, sizeof shape, &shape) == 0) return nullptr;
    width = shape.bmWidth;
    height = shape.bmHeight;
    const LONG stride = (3 * width + 3) & ~3;
    Array pixels(SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(stride * height)));
    if (!pixels) return nullptr;
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = height;  // positive: bottom-up rows
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 24;
    format.bmiHeader.biCompression = BI_RGB;
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(pixels.get(), &data))) return nullptr;
    const MemoryDc dc(CreateCompatibleDC(nullptr));
    const int rows = GetDIBits(dc.get(), bitmap, 0, static_cast<UINT>(height), data, &format, DIB_RGB_COLORS);
    SafeArrayUnaccessData(pixels.get());
    return rows == height ? std::move(pixels) : nullptr;
}

// Pixel (row, column), rows counted from the top, as red, green, blue.
void print_pixel(SAFEARRAY* pixels, LONG width, LONG height, LONG row, LONG column) {
    const LONG stride = (3 * width + 3) & ~3;
    const LONG at = (height - 1 - row) * stride + 3 * column;
    BYTE blue = 0, green = 0, red = 0;
    LONG index = at;
    SafeArrayGetElement(pixels, &index, &blue);
    index = at + 1;
    SafeArrayGetElement(pixels, &index, &green);
    index = at + 2;
    SafeArrayGetElement(pixels, &index, &red);
    std::printf("pixel (%ld, %ld): red %u, green %u, blue %u\n", row, column, red, green, blue);
}

int run(_Pictava* pictava, const wchar_t* file) {
    short pixels_per_inch = 0;
    if (FAILED(pictava->ScaleX(2540.0f, &pixels_per_inch))) return 1;
    std::printf("one inch is %d pixels\n", pixels_per_inch);

    const GdiObject bitmap(
        LoadImageW(nullptr, file, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
    LONG width = 0, height = 0;
    Array pixels = bitmap ? read_pixels(static_cast<HBITMAP>(bitmap.get()), width, height) : nullptr;
    if (!pixels) {
        std::printf("cannot read the pixels of %ls\n", file);
        return 1;
    }
    std::printf("picture: %ld x %ld pixels\n", width, height);
    print_pixel(pixels.get(), width, height, 10, 10);

    // The filters work on the array in place; the method may not replace
    // it, but it takes the array by reference as the type library says.
    SAFEARRAY* slot = pixels.get();
    HRESULT hr = pictava->Blur_Buffer(&slot, width, height);
    if (FAILED(hr)) {
        report_error(hr);
        return 1;
    }
    print_pixel(pixels.get(), width, height, 10, 10);
    hr = pictava->MedianCut_Buffer(&slot, width, height);
    if (FAILED(hr)) {
        report_error(hr);
        return 1;
    }
    print_pixel(pixels.get(), width, height, 10, 10);

    // Errors: a height the array is too small for, and a width whose
    // row length leaves the 32-bit range.
    std::printf("Blur_Buffer with twice the height: ");
    report_error(pictava->Blur_Buffer(&slot, width, 2 * height));
    std::printf("Blur_Buffer with width 715827882: ");
    report_error(pictava->Blur_Buffer(&slot, 715827882, height));

    // ColorToBN paints onto a device context the caller owns: here a
    // 200 x 150 bitmap in a memory DC, the picture fitted and centred.
    const MemoryDc dc(CreateCompatibleDC(nullptr));
    BITMAPINFO canvas_format{};
    canvas_format.bmiHeader = {sizeof(BITMAPINFOHEADER), 200, 150, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* canvas_bits = nullptr;
    const GdiObject canvas(CreateDIBSection(dc.get(), &canvas_format, DIB_RGB_COLORS, &canvas_bits, nullptr, 0));
    if (!canvas) return 1;
    const HGDIOBJ previous = SelectObject(dc.get(), canvas.get());
    RECT box{0, 0, 200, 150};
    FillRect(dc.get(), &box, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    const String name(SysAllocString(file));
    VARIANT_BOOL two_color = VARIANT_FALSE, hold_proportion = VARIANT_TRUE, painted = VARIANT_FALSE;
    BYTE threshold = 128;
    LONG box_width = 200, box_height = 150;
    // PictureHDC is a 32-bit Long; device-context handles fit in it also
    // in 64-bit processes.
    const LONG hdc = static_cast<LONG>(reinterpret_cast<LONG_PTR>(dc.get()));
    hr = pictava->ColorToBN(name.get(), hdc, 0, &two_color, &threshold, &hold_proportion, &box_width,
                            &box_height, &painted);
    const COLORREF middle = GetPixel(dc.get(), 100, 75), corner = GetPixel(dc.get(), 0, 0);
    SelectObject(dc.get(), previous);
    if (FAILED(hr)) {
        report_error(hr);
        return 1;
    }
    std::printf("ColorToBN: %s; middle %s, corner %s\n", painted ? "painted" : "not painted",
                GetRValue(middle) == GetGValue(middle) && GetGValue(middle) == GetBValue(middle) &&
                        GetRValue(middle) >= 128
                    ? "gray"
                    : "not gray",
                corner == RGB(255, 255, 255) ? "white" : "not white");
    return painted ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::printf("usage: com_client PICTURE.bmp\n");
        return 2;
    }
    const ComApartment apartment;
    if (FAILED(apartment.status())) return 1;
    CLSID clsid{};
    _Pictava* raw = nullptr;
    if (FAILED(CLSIDFromProgID(L"Orvessa.Pictava", &clsid)) ||
        FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, __uuidof(_Pictava),
                                reinterpret_cast<void**>(&raw)))) {
        std::printf("Orvessa.Pictava is not registered (regsvr32 Orvessa.dll)\n");
        return 1;
    }
    const ComRef<_Pictava> pictava(raw);
    return run(pictava.get(), argv[1]);
}
