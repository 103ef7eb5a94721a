// ColorToBN end to end under Wine: the OLE loader, the GDI read and the
// paint onto a device context the test owns; the expected pixels computed
// here from the picture's own pixels by the conversion rules.
#include <shlwapi.h>

#include <fstream>

#include "canvas.hpp"
#include "com_test_support.hpp"

namespace orvessa::test {
namespace {

constexpr int halftone = 4;  // any mode but COLORONCOLOR (3)

class ColorToBNTest : public PictavaTest {
protected:
    // One call through the vtable; returns the method's result.
    bool paint(const std::wstring& path, const Canvas& canvas, bool two_color = false,
               BYTE threshold = 128, bool hold = false, LONG box_width = 0, LONG box_height = 0,
               LONG image_handle = 0) {
        UniqueBstr name(SysAllocString(path.c_str()));
        VARIANT_BOOL two = two_color ? VARIANT_TRUE : VARIANT_FALSE;
        VARIANT_BOOL proportion = hold ? VARIANT_TRUE : VARIANT_FALSE;
        VARIANT_BOOL result = 7;
        EXPECT_EQ(S_OK, object->ColorToBN(name.get(), canvas.dc_value(), image_handle, &two,
                                          &threshold, &proportion, &box_width, &box_height, &result));
        EXPECT_TRUE(result == VARIANT_TRUE || result == VARIANT_FALSE);
        return result == VARIANT_TRUE;
    }

    // The picture converted at natural size at the origin; the rest untouched.
    void expect_natural(const Canvas& canvas, const Pixels& source, bool two_color, int threshold) {
        int wrong = 0;
        for (int y = 0; y < canvas.height(); ++y) {
            for (int x = 0; x < canvas.width(); ++x) {
                Rgb expected = Canvas::sentinel;
                if (x < source.width && y < source.height) {
                    const std::uint8_t v = converted(source.at(x, y), two_color, threshold);
                    expected = {v, v, v};
                }
                if (!(canvas.at(x, y) == expected) && ++wrong <= 3) {
                    ADD_FAILURE() << "pixel (" << x << ", " << y << ")";
                }
            }
        }
        EXPECT_EQ(0, wrong);
    }

};

TEST_F(ColorToBNTest, PicturesPaintGrayAtNaturalSize) {
    struct Case {
        const char* file;
        bool parse_file;  // an uncompressed BMP, read byte by byte here
    };
    for (const Case c : {Case{"chelsea-small.bmp", true}, Case{"camera-8bit.bmp", true},
                         Case{"chelsea.gif", false}, Case{"coffee.jpg", false}}) {
        SCOPED_TRACE(c.file);
        const std::wstring path = picture_path(c.file);
        const Pixels source = c.parse_file ? read_bmp_file(path) : read_ole_picture(path);
        ASSERT_GT(source.width, 0);
        if (c.parse_file) {
            const Pixels by_gdi = read_ole_picture(path);
            ASSERT_EQ(source.width, by_gdi.width);
            EXPECT_TRUE(source.pixels == by_gdi.pixels) << "the loader reads the file's own pixels";
        }
        Canvas canvas(source.width + 7, source.height + 5);
        SetStretchBltMode(canvas.dc(), halftone);
        EXPECT_TRUE(paint(path, canvas));
        EXPECT_EQ(COLORONCOLOR, GetStretchBltMode(canvas.dc()));
        expect_natural(canvas, source, false, 0);
    }
}

TEST_F(ColorToBNTest, TwoColourFollowsTheThresholdStrictly) {
    const std::wstring path = picture_path("chelsea-small.bmp");
    const Pixels source = read_bmp_file(path);
    for (int threshold : {0, 1, 100, 128, 200, 255}) {
        SCOPED_TRACE(threshold);
        Canvas canvas(source.width + 3, source.height + 3);
        EXPECT_TRUE(paint(path, canvas, true, static_cast<BYTE>(threshold)));
        expect_natural(canvas, source, true, threshold);
    }
}

TEST_F(ColorToBNTest, FittedIntoABoxAndCentred) {
    // 48 x 32 into 116 x 64: too tall at the box's width (77 > 64), so the
    // height fills: 96 x 64, an exact doubling, centred at left 58 - 48 = 10.
    const std::wstring path = picture_path("chelsea-small.bmp");
    const Pixels source = read_bmp_file(path);
    ASSERT_EQ(48, source.width);
    ASSERT_EQ(32, source.height);
    Canvas canvas(130, 80);
    EXPECT_TRUE(paint(path, canvas, false, 128, true, 116, 64));
    int wrong = 0;
    for (int y = 0; y < canvas.height(); ++y) {
        for (int x = 0; x < canvas.width(); ++x) {
            Rgb expected = Canvas::sentinel;
            if (x >= 10 && x < 106 && y < 64) {
                const std::uint8_t v = converted(source.at((x - 10) / 2, y / 2), false, 0);
                expected = {v, v, v};
            }
            if (!(canvas.at(x, y) == expected) && ++wrong <= 3) ADD_FAILURE() << "pixel (" << x << ", " << y << ")";
        }
    }
    EXPECT_EQ(0, wrong);

    // A box of 0 x 0 paints nothing visible.
    Canvas empty_box(60, 40);
    paint(path, empty_box, false, 128, true, 0, 0);
    EXPECT_TRUE(empty_box.untouched());
}

TEST_F(ColorToBNTest, ImageHandleHasNoEffect) {
    const std::wstring path = picture_path("chelsea-small.bmp");
    Canvas first(50, 34), second(50, 34);
    paint(path, first, false, 128, false, 0, 0, 0);
    paint(path, second, false, 128, false, 0, 0, 0x12345);
    for (int y = 0; y < 34; ++y) {
        for (int x = 0; x < 50; ++x) ASSERT_EQ(first.at(x, y), second.at(x, y));
    }
}

TEST_F(ColorToBNTest, IconPaintsAUniformRectangleOfItsSize) {
    const std::wstring path = picture_path("chelsea.ico");
    const SIZE himetric = himetric_size(path);
    short width = 0, height = 0;
    ASSERT_EQ(S_OK, object->ScaleX(static_cast<float>(himetric.cx), &width));
    ASSERT_EQ(S_OK, object->ScaleY(static_cast<float>(himetric.cy), &height));
    ASSERT_GT(width, 0);
    for (bool two_color : {false, true}) {
        Canvas canvas(width + 4, height + 4);
        EXPECT_TRUE(paint(path, canvas, two_color));
        const std::uint8_t v = two_color ? 0 : 128;
        for (int y = 0; y < canvas.height(); ++y) {
            for (int x = 0; x < canvas.width(); ++x) {
                const Rgb expected = x < width && y < height ? Rgb{v, v, v} : Canvas::sentinel;
                ASSERT_EQ(expected, canvas.at(x, y)) << x << ", " << y;
            }
        }
    }
}

// A page that faults on any access: a pointer into it stands for one the
// caller knows the method will not read.
class NoAccessPage {
public:
    NoAccessPage() : page_(VirtualAlloc(nullptr, 4096, MEM_RESERVE | MEM_COMMIT, PAGE_NOACCESS)) {}
    ~NoAccessPage() { VirtualFree(page_, 0, MEM_RELEASE); }
    NoAccessPage(const NoAccessPage&) = delete;
    NoAccessPage& operator=(const NoAccessPage&) = delete;
    template <typename T>
    T* pointer() const { return static_cast<T*>(page_); }

private:
    void* page_;
};

// Through the slots, each by-reference argument is read only by the step
// that uses it; a null pointer is an omitted argument.
TEST_F(ColorToBNTest, ByReferenceArgumentsAreReadOnlyWhereUsed) {
    const NoAccessPage page;
    ASSERT_NE(nullptr, page.pointer<void>());
    const std::wstring path = picture_path("chelsea-small.bmp");
    const Pixels source = read_bmp_file(path);
    UniqueBstr picture(SysAllocString(path.c_str()));
    UniqueBstr missing(SysAllocString(L"Z:\\no\\such\\picture.bmp"));
    VARIANT_BOOL no = VARIANT_FALSE, yes = VARIANT_TRUE;
    BYTE threshold = 100;
    VARIANT_BOOL* bad_bool = page.pointer<VARIANT_BOOL>();
    BYTE* bad_byte = page.pointer<BYTE>();
    LONG* bad_long = page.pointer<LONG>();
    struct Case {
        const char* what;
        BSTR file;
        VARIANT_BOOL* two_color;
        BYTE* threshold;
        VARIANT_BOOL* hold;
        bool painted;
        bool two_color_result;  // the conversion that shows, when painted
    };
    const Case cases[] = {
        {"Width and Height unread without HoldProportion", picture.get(), &no, &threshold, &no, true, false},
        {"Threshold unread in gray mode", picture.get(), &no, bad_byte, &no, true, false},
        {"Threshold read in two-colour mode", picture.get(), &yes, &threshold, &no, true, true},
        {"nothing read but the name when the file is missing", missing.get(), bad_bool, bad_byte, bad_bool,
         false, false},
        {"null pointers take the defaults", picture.get(), nullptr, nullptr, nullptr, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Canvas canvas(source.width + 4, source.height + 4);
        VARIANT_BOOL result = 7;
        EXPECT_EQ(S_OK, object->ColorToBN(c.file, canvas.dc_value(), 0, c.two_color, c.threshold,
                                          c.hold, bad_long, bad_long, &result));
        EXPECT_EQ(c.painted ? VARIANT_TRUE : VARIANT_FALSE, result);
        if (c.painted) {
            expect_natural(canvas, source, c.two_color_result, threshold);
        } else {
            EXPECT_TRUE(canvas.untouched());
        }
    }
}

class TempFolder {
public:
    TempFolder() {
        wchar_t base[MAX_PATH];
        GetTempPathW(MAX_PATH, base);
        path_ = std::wstring(base) + L"orvessa-test-" + std::to_wstring(GetCurrentProcessId()) + L"\\";
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~TempFolder() {
        for (const auto& f : files_) DeleteFileW(f.c_str());
        RemoveDirectoryW(path_.c_str());
    }
    std::wstring file(const std::wstring& name, const std::string& content) {
        const std::wstring full = path_ + name;
        std::ofstream(full.c_str(), std::ios::binary) << content;
        files_.push_back(full);
        return full;
    }
    std::wstring copy(const std::wstring& from, const std::wstring& name) {
        const std::wstring full = path_ + name;
        CopyFileW(from.c_str(), full.c_str(), FALSE);
        files_.push_back(full);
        return full;
    }
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
    std::vector<std::wstring> files_;
};

TEST_F(ColorToBNTest, FilesThatHoldNoPicturePaintNothingAndReportNoError) {
    TempFolder temp;
    const std::wstring cases[] = {
        L"Z:\\no\\such\\folder\\picture.bmp",
        temp.path(),                                     // a directory
        temp.file(L"empty.bmp", ""),
        temp.file(L"notes.txt", "not a picture at all\r\n"),
        temp.file(L"truncated.bmp", "BM\x36\x12"),
        temp.path() + L"Bild_\u00e4\u00f6\u00fc_\u65e5\u672c_missing.bmp",
        L"",
    };
    for (const std::wstring& path : cases) {
        SCOPED_TRACE(testing::PrintToString(path));
        Canvas canvas(20, 20);
        SetStretchBltMode(canvas.dc(), halftone);
        SetErrorInfo(0, nullptr);
        EXPECT_FALSE(paint(path, canvas));
        EXPECT_TRUE(canvas.untouched());
        EXPECT_EQ(halftone, GetStretchBltMode(canvas.dc()));
        EXPECT_EQ(L"", take_error_info().description);
    }
}

TEST_F(ColorToBNTest, NonAsciiPathLoads) {
    TempFolder temp;
    const std::wstring original = picture_path("chelsea-small.bmp");
    const std::wstring path = temp.copy(original, L"Bild_\u00e4\u00f6\u00fc_\u65e5\u672c.bmp");
    Canvas canvas(50, 34);
    EXPECT_TRUE(paint(path, canvas));
    expect_natural(canvas, read_bmp_file(original), false, 0);
}

TEST_F(ColorToBNTest, LateBoundDefaultsAreGrayAndThreshold128) {
    const std::wstring path = picture_path("chelsea-small.bmp");
    const Pixels source = read_bmp_file(path);
    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(S_OK, object->QueryInterface(IID_IDispatch, dispatch.put_void()));
    UniqueBstr name(SysAllocString(path.c_str()));

    // The device context as a 64-bit caller holds it: a LongPtr, 8 bytes.
    Canvas gray(50, 34);
    LateCall three;
    invoke(dispatch.get(), 0x60030004,
           {v_bstr(name.get()), v_i8(reinterpret_cast<LONG_PTR>(gray.dc())), v_i4(0)}, three);
    ASSERT_EQ(S_OK, three.hr);
    EXPECT_EQ(VARIANT_TRUE, V_BOOL(three.result.get()));
    expect_natural(gray, source, false, 0);

    VARIANT two_color;
    V_VT(&two_color) = VT_BOOL;
    V_BOOL(&two_color) = VARIANT_TRUE;
    Canvas black_white(50, 34);
    LateCall four;
    invoke(dispatch.get(), 0x60030004,
           {v_bstr(name.get()), v_i4(black_white.dc_value()), v_i4(0), v_ref(&two_color)}, four);
    ASSERT_EQ(S_OK, four.hr);
    expect_natural(black_white, source, true, 128);
}

// Every call releases its picture, stream, memory DC and buffer: after
// thousands of calls, successes and every kind of failure, no handle is left.
TEST_F(ColorToBNTest, ManyCallsLeaveNoHandleBehind) {
    TempFolder temp;
    const std::wstring picture = temp.copy(picture_path("chelsea-small.bmp"), L"leak.bmp");
    const std::wstring icon = picture_path("chelsea.ico");
    const std::wstring text = temp.file(L"leak.txt", "text");
    Canvas canvas(50, 34);
    paint(picture, canvas);  // first use: the conversion form and the loader's own state
    const unsigned gdi_before = gdi_handle_mark();
    const unsigned kernel_before = kernel_handle_mark();
    const DWORD gui_before = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    DWORD handles_before = 0, handles_after = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handles_before);

    for (int i = 0; i < 10000; ++i) {
        switch (i % 4) {
            case 0: ASSERT_TRUE(paint(picture, canvas, i % 8 == 0, 100, i % 3 == 0, 30, 30)); break;
            case 1: ASSERT_FALSE(paint(L"Z:\\no\\such\\file.bmp", canvas)); break;
            case 2: ASSERT_FALSE(paint(text, canvas)); break;
            case 3: ASSERT_TRUE(paint(icon, canvas)); break;
        }
    }
    EXPECT_LE(gdi_handle_mark(), gdi_before + 16);
    EXPECT_LE(kernel_handle_mark(), kernel_before + 4 * 16);
    EXPECT_EQ(gui_before, GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS));
    GetProcessHandleCount(GetCurrentProcess(), &handles_after);
    EXPECT_EQ(handles_before, handles_after);
    // No stream is left open on the file: it can be opened for writing alone.
    HANDLE exclusive = CreateFileW(picture.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, exclusive);
    CloseHandle(exclusive);
}

}  // namespace
}  // namespace orvessa::test
