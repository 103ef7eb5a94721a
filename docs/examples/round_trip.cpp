// The round trip of a picture through Orvessa.Pictava (docs/com-guide.md):
// reads a BMP file's pixels into a SAFEARRAY of bytes with GetDIBits, filters
// the array in place, shows it on a device context with StretchDIBits and
// saves it as a new BMP file. It calls the filter through the
// interface of the type-library header (early bound) or, with `late-bound`,
// through IDispatch by name, as a script or a Variant-based caller does.
//
//   round_trip IN.bmp OUT.bmp [blur|smooth] [late-bound]
//
// Build (mingw-w64):  g++ round_trip.cpp -o round_trip.exe -I include -municode
//                     -lole32 -loleaut32 -luuid -lgdi32
// Build (MSVC):       cl /EHsc round_trip.cpp /I include ole32.lib oleaut32.lib gdi32.lib
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <cwchar>
#include <memory>
#include <type_traits>

#include "orvessa_idl.h"

namespace {

// One owner for each resource, so that every path releases it.
struct Release {
    void operator()(IUnknown* p) const { p->Release(); }
};
template <class T>
using ComRef = std::unique_ptr<T, Release>;
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
struct CloseFile {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, CloseFile>;

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

// Keeps a SAFEARRAY's data locked while it is in scope.
class ArrayData {
public:
    explicit ArrayData(SAFEARRAY* array) : array_(array) {
        if (FAILED(SafeArrayAccessData(array_, &data_))) data_ = nullptr;
    }
    ~ArrayData() {
        if (data_) SafeArrayUnaccessData(array_);
    }
    ArrayData(const ArrayData&) = delete;
    ArrayData& operator=(const ArrayData&) = delete;
    void* get() const { return data_; }

private:
    SAFEARRAY* array_;
    void* data_ = nullptr;
};

// The format the filters work in: 24 bits a pixel, bytes blue, green, red,
// each row padded to a multiple of four bytes, rows bottom-up (positive
// height).
BITMAPINFO pixel_format(LONG width, LONG height) {
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = height;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 24;
    format.bmiHeader.biCompression = BI_RGB;
    return format;
}

LONG stride_of(LONG width) { return (3 * width + 3) & ~3; }

// Reads a bitmap's pixels into a new byte array with GetDIBits.
Array read_pixels(HBITMAP bitmap, LONG& width, LONG& height) {
    BITMAP shape{};
    if (GetObjectW(bitmap, sizeof shape, &shape) == 0) return nullptr;
    width = shape.bmWidth;
    height = shape.bmHeight;
    Array pixels(SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(stride_of(width) * height)));
    if (!pixels) return nullptr;
    const ArrayData data(pixels.get());
    BITMAPINFO format = pixel_format(width, height);
    const MemoryDc dc(CreateCompatibleDC(nullptr));
    if (!data.get() ||
        GetDIBits(dc.get(), bitmap, 0, static_cast<UINT>(height), data.get(), &format, DIB_RGB_COLORS) != height) {
        return nullptr;
    }
    return pixels;
}

// The filter through the interface that the type-library header declares.
HRESULT filter_early_bound(IDispatch* object, bool smooth, SAFEARRAY*& pixels, LONG width, LONG height) {
    _Pictava* raw = nullptr;
    const HRESULT hr = object->QueryInterface(__uuidof(_Pictava), reinterpret_cast<void**>(&raw));
    if (FAILED(hr)) return hr;
    const ComRef<_Pictava> pictava(raw);
    return smooth ? pictava->MedianCut_Buffer(&pixels, width, height)
                  : pictava->Blur_Buffer(&pixels, width, height);
}

// The same by name through IDispatch: the array goes by reference
// (VT_BYREF | VT_ARRAY | VT_UI1), the arguments last to first.
HRESULT filter_late_bound(IDispatch* object, bool smooth, SAFEARRAY*& pixels, LONG width, LONG height) {
    OLECHAR* name = const_cast<OLECHAR*>(smooth ? L"MedianCut_Buffer" : L"Blur_Buffer");
    DISPID id = 0;
    HRESULT hr = object->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    VARIANTARG arguments[3];
    for (VARIANTARG& argument : arguments) VariantInit(&argument);
    V_VT(&arguments[0]) = VT_I4;  // DimY
    V_I4(&arguments[0]) = height;
    V_VT(&arguments[1]) = VT_I4;  // DimX
    V_I4(&arguments[1]) = width;
    V_VT(&arguments[2]) = VT_BYREF | VT_ARRAY | VT_UI1;  // Buffer
    V_ARRAYREF(&arguments[2]) = &pixels;
    DISPPARAMS parameters{arguments, nullptr, 3, 0};
    EXCEPINFO error{};
    hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &parameters, nullptr, &error, nullptr);
    SysFreeString(error.bstrSource);
    SysFreeString(error.bstrDescription);
    SysFreeString(error.bstrHelpFile);
    // An automation error comes back as DISP_E_EXCEPTION with its number in scode.
    return hr == DISP_E_EXCEPTION && FAILED(error.scode) ? error.scode : hr;
}

// Shows the pixels at their size at the top-left corner of a device context
// (a window's, or here a memory bitmap's).
bool show(HDC dc, SAFEARRAY* pixels, LONG width, LONG height) {
    const ArrayData data(pixels);
    const BITMAPINFO format = pixel_format(width, height);
    SetStretchBltMode(dc, COLORONCOLOR);
    return data.get() && StretchDIBits(dc, 0, 0, width, height, 0, 0, width, height, data.get(), &format,
                                       DIB_RGB_COLORS, SRCCOPY) == height;
}

// Saves the pixels as a 24-bit BMP file: the file header, the bitmap
// header, the array as it is.
bool save(const wchar_t* path, SAFEARRAY* pixels, LONG width, LONG height) {
    const ArrayData data(pixels);
    BITMAPINFO format = pixel_format(width, height);
    format.bmiHeader.biSizeImage = static_cast<DWORD>(stride_of(width) * height);
    BITMAPFILEHEADER file_header{};
    file_header.bfType = 0x4D42;  // "BM"
    file_header.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    file_header.bfSize = file_header.bfOffBits + format.bmiHeader.biSizeImage;
    const File file(_wfopen(path, L"wb"));
    return data.get() && file && std::fwrite(&file_header, sizeof file_header, 1, file.get()) == 1 &&
           std::fwrite(&format.bmiHeader, sizeof format.bmiHeader, 1, file.get()) == 1 &&
           std::fwrite(data.get(), 1, format.bmiHeader.biSizeImage, file.get()) == format.bmiHeader.biSizeImage;
}

int run(IDispatch* pictava, const wchar_t* in, const wchar_t* out, bool smooth, bool late_bound) {
    const GdiObject bitmap(LoadImageW(nullptr, in, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
    LONG width = 0, height = 0;
    Array pixels = bitmap ? read_pixels(static_cast<HBITMAP>(bitmap.get()), width, height) : nullptr;
    if (!pixels) {
        std::printf("cannot read the pixels of %ls\n", in);
        return 1;
    }

    // The filter works on the array in place; it takes the array by
    // reference, as the type library says, and never replaces it.
    SAFEARRAY* slot = pixels.get();
    const HRESULT hr = late_bound ? filter_late_bound(pictava, smooth, slot, width, height)
                                  : filter_early_bound(pictava, smooth, slot, width, height);
    if (FAILED(hr)) {
        // 0x800A0000 + n for automation error n: 6 overflow, 7 out of memory,
        // 9 subscript out of range.
        std::printf("the filter failed: 0x%08lX\n", static_cast<unsigned long>(hr));
        return 1;
    }

    // A canvas of the picture's size stands for the window it is shown in.
    const MemoryDc dc(CreateCompatibleDC(nullptr));
    const BITMAPINFO canvas_format = pixel_format(width, height);
    void* canvas_bits = nullptr;
    const GdiObject canvas(CreateDIBSection(dc.get(), &canvas_format, DIB_RGB_COLORS, &canvas_bits, nullptr, 0));
    if (!canvas) return 1;
    const HGDIOBJ previous = SelectObject(dc.get(), canvas.get());
    const bool shown = show(dc.get(), pixels.get(), width, height);
    SelectObject(dc.get(), previous);
    if (!shown || !save(out, pixels.get(), width, height)) {
        std::printf("cannot show or save the picture as %ls\n", out);
        return 1;
    }
    std::printf("%s (%s): %ld x %ld pixels\n", smooth ? "smooth" : "blur", late_bound ? "late bound" : "early bound",
                width, height);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::printf("usage: round_trip IN.bmp OUT.bmp [blur|smooth] [late-bound]\n");
        return 2;
    }
    bool smooth = false, late_bound = false;
    for (int i = 3; i < argc; ++i) {
        if (std::wcscmp(argv[i], L"smooth") == 0) {
            smooth = true;
        } else if (std::wcscmp(argv[i], L"late-bound") == 0) {
            late_bound = true;
        } else if (std::wcscmp(argv[i], L"blur") != 0) {
            std::printf("unknown argument %ls\n", argv[i]);
            return 2;
        }
    }
    const ComApartment apartment;
    if (FAILED(apartment.status())) return 1;
    CLSID clsid{};
    IDispatch* raw = nullptr;
    const HRESULT hr = CLSIDFromProgID(L"Orvessa.Pictava", &clsid);
    if (FAILED(hr) || FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                              reinterpret_cast<void**>(&raw)))) {
        // 0x80040154 (class not registered) or 0x800401F3 (invalid class string):
        // no DLL of this program's bitness is registered.
        std::printf("cannot create Orvessa.Pictava: register the Orvessa.dll of this program's bitness\n");
        return 1;
    }
    const ComRef<IDispatch> pictava(raw);
    return run(pictava.get(), argv[1], argv[2], smooth, late_bound);
}
