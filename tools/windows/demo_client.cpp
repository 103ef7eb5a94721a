// A small automation client of Orvessa.dll for the demonstration under Wine.
// It creates Orvessa.Pictava by its ProgID, reads sample pictures into byte
// arrays as a Windows client does (OLE picture, GetDIBits), filters them with
// Blur_Buffer and MedianCut_Buffer, paints others with ColorToBN onto its own
// device context, saves everything as BMP files, and compares each result
// with the file the Linux command-line tool made from the same picture.
//
//   demo_client PICTURES OUT_FOLDER LINUX_FOLDER
//
// Exit status 0 when every filter result agrees byte for byte with Linux.
#include <windows.h>
#include <olectl.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "server/orvessa_idl.h"
#include "platform/win32/win32_raii.hpp"

namespace {

using namespace orvessa::win32;

// A 24-bit picture as the byte-array methods see it: rows bottom-up, each
// padded to four bytes.
struct Picture24 {
    int width = 0, height = 0;
    std::vector<std::uint8_t> bytes;
    int stride() const { return (3 * width + 3) & ~3; }
};

bool read_picture(const std::wstring& path, Picture24& out) {
    ComPtr<IStream> stream;
    ComPtr<IPicture> picture;
    if (FAILED(SHCreateStreamOnFileW(path.c_str(), STGM_READ, stream.put())) ||
        FAILED(OleLoadPicture(stream.get(), 0, FALSE, IID_IPicture, picture.put_void()))) {
        return false;
    }
    OLE_HANDLE handle = 0;
    picture->get_Handle(&handle);
    const auto bitmap = reinterpret_cast<HBITMAP>(static_cast<ULONG_PTR>(handle));
    BITMAP bm{};
    if (GetObjectW(bitmap, sizeof bm, &bm) == 0) return false;
    out.width = bm.bmWidth;
    out.height = bm.bmHeight;
    out.bytes.assign(static_cast<std::size_t>(out.stride()) * out.height, 0);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), out.width, out.height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    const UniqueDc dc(CreateCompatibleDC(nullptr));
    return GetDIBits(dc.get(), bitmap, 0, out.height, out.bytes.data(), &info, DIB_RGB_COLORS) == out.height;
}

void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::uint32_t get32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

bool write_bmp(const std::wstring& path, const Picture24& p) {
    std::vector<std::uint8_t> file(54, 0);
    file[0] = 'B';
    file[1] = 'M';
    put32(file, 2, static_cast<std::uint32_t>(54 + p.bytes.size()));
    put32(file, 10, 54);
    put32(file, 14, 40);
    put32(file, 18, static_cast<std::uint32_t>(p.width));
    put32(file, 22, static_cast<std::uint32_t>(p.height));
    file[26] = 1;
    file[28] = 24;
    put32(file, 34, static_cast<std::uint32_t>(p.bytes.size()));
    file.insert(file.end(), p.bytes.begin(), p.bytes.end());
    std::ofstream out(path.c_str(), std::ios::binary);
    out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    return static_cast<bool>(out);
}

// An uncompressed 24- or 32-bit BMP, either row order, as a Picture24.
bool read_bmp(const std::wstring& path, Picture24& out) {
    std::ifstream file(path.c_str(), std::ios::binary);
    const std::vector<std::uint8_t> b{std::istreambuf_iterator<char>(file), {}};
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') return false;
    const int bits = b[28];
    const auto height = static_cast<std::int32_t>(get32(b, 22));
    out.width = static_cast<std::int32_t>(get32(b, 18));
    out.height = height < 0 ? -height : height;
    if ((bits != 24 && bits != 32) || get32(b, 30) != BI_RGB) return false;
    const std::size_t in_stride = ((static_cast<std::size_t>(out.width) * bits + 31) / 32) * 4;
    const std::size_t offset = get32(b, 10);
    if (b.size() < offset + in_stride * out.height) return false;
    out.bytes.assign(static_cast<std::size_t>(out.stride()) * out.height, 0);
    for (int r = 0; r < out.height; ++r) {  // r counts stored rows, bottom-up
        const int source_row = height < 0 ? out.height - 1 - r : r;
        for (int x = 0; x < out.width; ++x) {
            for (int c = 0; c < 3; ++c) {
                out.bytes[r * out.stride() + 3 * x + c] = b[offset + source_row * in_stride + x * (bits / 8) + c];
            }
        }
    }
    return true;
}

// Pixels that differ between two pictures (pad bytes left out); -1 when the sizes differ.
long differing_pixels(const Picture24& a, const Picture24& b) {
    if (a.width != b.width || a.height != b.height) return -1;
    long n = 0;
    for (int r = 0; r < a.height; ++r) {
        for (int x = 0; x < a.width; ++x) {
            const std::size_t at = static_cast<std::size_t>(r) * a.stride() + 3 * x;
            if (a.bytes[at] != b.bytes[at] || a.bytes[at + 1] != b.bytes[at + 1] ||
                a.bytes[at + 2] != b.bytes[at + 2]) {
                ++n;
            }
        }
    }
    return n;
}

std::string narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

// Compares with the Linux result; `must_agree` marks results that are plain
// computation and so must match byte for byte.
bool compare(const std::wstring& linux_file, const Picture24& ours, bool must_agree, const char* why) {
    Picture24 theirs;
    if (!read_bmp(linux_file, theirs)) {
        std::printf("      no Linux result %s to compare with\n", narrow(linux_file).c_str());
        return !must_agree;
    }
    const long differ = differing_pixels(ours, theirs);
    if (differ == 0) {
        std::printf("      agrees byte for byte with Linux\n");
        return true;
    }
    if (differ < 0) {
        std::printf("      differs from Linux in size: %d x %d here, %d x %d there (%s)\n", ours.width,
                    ours.height, theirs.width, theirs.height, why);
    } else {
        std::printf("      %ld of %d pixels differ from Linux (%s)\n", differ, ours.width * ours.height, why);
    }
    return !must_agree;
}

struct SafeArrayOf {
    UniqueSafeArray array;
    explicit SafeArrayOf(const std::vector<std::uint8_t>& bytes) {
        SAFEARRAYBOUND bound{static_cast<ULONG>(bytes.size()), 0};
        array.reset(SafeArrayCreate(VT_UI1, 1, &bound));
        void* data = nullptr;
        SafeArrayAccessData(array.get(), &data);
        std::copy(bytes.begin(), bytes.end(), static_cast<std::uint8_t*>(data));
        SafeArrayUnaccessData(array.get());
    }
    void copy_to(std::vector<std::uint8_t>& bytes) const {
        void* data = nullptr;
        SafeArrayAccessData(array.get(), &data);
        std::copy_n(static_cast<const std::uint8_t*>(data), bytes.size(), bytes.begin());
        SafeArrayUnaccessData(array.get());
    }
};

// A white 32-bit surface selected into a memory DC that the client owns.
class Canvas {
public:
    Canvas(int width, int height) : width_(width), height_(height), dc_(CreateCompatibleDC(nullptr)) {
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        bitmap_.reset(CreateDIBSection(dc_.get(), &info, DIB_RGB_COLORS, &bits_, nullptr, 0));
        previous_ = SelectObject(dc_.get(), bitmap_.get());
        std::fill_n(static_cast<std::uint8_t*>(bits_), 4 * width * height, 0xFF);
    }
    ~Canvas() { SelectObject(dc_.get(), previous_); }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;
    LONG dc_value() const { return static_cast<LONG>(reinterpret_cast<LONG_PTR>(dc_.get())); }
    Picture24 picture() const {
        GdiFlush();
        Picture24 p;
        p.width = width_;
        p.height = height_;
        p.bytes.assign(static_cast<std::size_t>(p.stride()) * height_, 0);
        const auto* source = static_cast<const std::uint8_t*>(bits_);  // bottom-up, 4 bytes a pixel
        for (int r = 0; r < height_; ++r) {
            for (int x = 0; x < width_; ++x) {
                for (int c = 0; c < 3; ++c) p.bytes[r * p.stride() + 3 * x + c] = source[4 * (r * width_ + x) + c];
            }
        }
        return p;
    }

private:
    int width_, height_;
    UniqueDc dc_;
    UniqueGdiObject bitmap_;
    HGDIOBJ previous_ = nullptr;
    void* bits_ = nullptr;
};

struct Paint {
    const wchar_t* file;
    const wchar_t* out;
    bool two_color;
    BYTE threshold;
    int box_width, box_height;  // 0: natural size
    const char* what;
    const char* why;  // why it may differ from Linux
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: demo_client PICTURES OUT_FOLDER LINUX_FOLDER\n");
        return 2;
    }
    const std::wstring pictures = std::wstring(argv[1]) + L"\\";
    const std::wstring out = std::wstring(argv[2]) + L"\\";
    const std::wstring linux_out = std::wstring(argv[3]) + L"\\";
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
    bool agreed = true;
    {
        CLSID clsid{};
        ComPtr<_Pictava> pictava;
        if (FAILED(CLSIDFromProgID(L"Orvessa.Pictava", &clsid)) ||
            FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID__Pictava, pictava.put_void()))) {
            std::fprintf(stderr, "demo_client: Orvessa.Pictava is not registered\n");
            CoUninitialize();
            return 2;
        }
        std::printf("created Orvessa.Pictava by its ProgID\n");

        std::printf("filters through a byte array (must agree with Linux byte for byte):\n");
        for (const wchar_t* name : {L"coffee.bmp", L"camera-8bit.bmp", L"chelsea-small.bmp"}) {
            Picture24 source;
            if (!read_picture(pictures + name, source)) {
                std::printf("  %s: cannot be read\n", narrow(name).c_str());
                agreed = false;
                continue;
            }
            const std::wstring stem = std::wstring(name).substr(0, std::wstring(name).find(L'.'));
            for (const bool blur : {true, false}) {
                SafeArrayOf array(source.bytes);
                SAFEARRAY* slot = array.array.get();
                const HRESULT hr = blur ? pictava->Blur_Buffer(&slot, source.width, source.height)
                                        : pictava->MedianCut_Buffer(&slot, source.width, source.height);
                Picture24 result = source;
                array.copy_to(result.bytes);
                const std::wstring file = stem + (blur ? L"-blur.bmp" : L"-smooth.bmp");
                std::printf("  %-22s %dx%d %s: 0x%08lX, saved %s\n", narrow(name).c_str(), source.width,
                            source.height, blur ? "Blur_Buffer" : "MedianCut_Buffer",
                            static_cast<unsigned long>(hr), narrow(file).c_str());
                write_bmp(out + file, result);
                agreed = compare(linux_out + file, result, true, "a fault: the filters are plain computation") && agreed;
            }
        }

        std::printf("ColorToBN painting onto the client's own device context:\n");
        const char* one_to_one = "unexpected: a one-to-one copy of the same pixels";
        const Paint paints[] = {
            {L"coffee.bmp", L"coffee-gray.bmp", false, 128, 0, 0, "gray, natural size", one_to_one},
            {L"camera-8bit.bmp", L"camera-gray.bmp", false, 128, 0, 0, "gray, odd width", one_to_one},
            {L"coffee.bmp", L"coffee-bw.bmp", true, 128, 0, 0, "two-colour, threshold 128", one_to_one},
            {L"chelsea.gif", L"chelsea-bw.bmp", true, 100, 0, 0, "two-colour, threshold 100", one_to_one},
            {L"coffee.jpg", L"coffee-jpg-gray.bmp", false, 128, 0, 0, "gray, from JPEG",
             "JPEG decoding is the platform's: Wine's decoder here, libjpeg-turbo there"},
            {L"coffee.bmp", L"coffee-fit-400x400.bmp", false, 128, 400, 400, "gray, fitted into 400 x 400",
             "the stretch is the platform's: GDI here, a software surface there"},
        };
        for (const Paint& p : paints) {
            Picture24 source;
            read_picture(pictures + p.file, source);
            const int width = p.box_width ? p.box_width : source.width;
            const int height = p.box_height ? p.box_height : source.height;
            Canvas canvas(width, height);
            UniqueBstr name(SysAllocString((pictures + p.file).c_str()));
            VARIANT_BOOL two_color = p.two_color ? VARIANT_TRUE : VARIANT_FALSE;
            VARIANT_BOOL hold = p.box_width ? VARIANT_TRUE : VARIANT_FALSE;
            BYTE threshold = p.threshold;
            LONG box_width = p.box_width, box_height = p.box_height;
            VARIANT_BOOL painted = VARIANT_FALSE;
            const HRESULT hr = pictava->ColorToBN(name.get(), canvas.dc_value(), 0, &two_color, &threshold,
                                                  &hold, &box_width, &box_height, &painted);
            std::printf("  %-22s %s: 0x%08lX, %s, saved %s\n", narrow(p.file).c_str(), p.what,
                        static_cast<unsigned long>(hr), painted ? "painted" : "NOT painted", narrow(p.out).c_str());
            const Picture24 result = canvas.picture();
            write_bmp(out + p.out, result);
            compare(linux_out + p.out, result, false, p.why);
        }
    }
    CoUninitialize();
    std::printf(agreed ? "the filters agree with Linux byte for byte\n"
                       : "the filters DISAGREE with Linux: a fault\n");
    return agreed ? 0 : 1;
}
