// End-to-end runs of the CLI's picture commands on the sample pictures.
// Results are read back by hand from BMP output and checked against the
// gray rule and the literal filters, not against the tool's own output.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <fcntl.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "bmp_reader.hpp"
#include "codecs/jpeg_codec.hpp"
#include "codecs/png_codec.hpp"
#include "filters/filter_kernels.hpp"
#include "orvessa/filter_pixels.hpp"
#include "orvessa/linux_platform.hpp"
#include "platform/linux/descriptor_bytes.hpp"
#include "platform/linux/unique_fd.hpp"

namespace orvessa {
namespace {

namespace fs = std::filesystem;
using test::Bgr;
using test::BmpPicture;
using test::buffer_of;
using test::read_bmp;

const std::string pictures = std::string(ORVESSA_PICTURES) + "/";

struct CliRun {
    int status;
    std::string out, err;
};

class CliPicture : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("orvessa-cli-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string tmp(const std::string& name) const { return (dir_ / name).string(); }

    CliRun run(const std::string& arguments) const {
        const std::string err = tmp("stderr");
        const std::string command = std::string(ORVESSA_CLI) + " " + arguments + " 2>" + err;
        CliRun result{};
        FILE* pipe = ::popen(command.c_str(), "r");
        char chunk[256];
        while (std::fgets(chunk, sizeof chunk, pipe) != nullptr) result.out += chunk;
        const int raw = ::pclose(pipe);
        result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        std::ifstream in(err);
        std::stringstream text;
        text << in.rdbuf();
        result.err = text.str();
        return result;
    }

private:
    fs::path dir_;
};

constexpr Bgr white{255, 255, 255};

Bgr gray_of(Bgr p, bool two_color, int threshold) {
    const std::uint8_t v = test::expected_value(p, two_color, threshold);
    return {v, v, v};
}

TEST_F(CliPicture, GrayAtNaturalSizeConvertsEveryPixel) {
    const BmpPicture coffee = read_bmp(pictures + "coffee.bmp");
    ASSERT_EQ(run("gray " + pictures + "coffee.bmp " + tmp("g.bmp")).status, 0);
    const BmpPicture gray = read_bmp(tmp("g.bmp"));
    ASSERT_EQ(gray.width, 600);
    ASSERT_EQ(gray.height, 400);
    for (int y = 0; y < 400; ++y) {
        for (int x = 0; x < 600; ++x) ASSERT_EQ(gray.at(x, y), gray_of(coffee.at(x, y), false, 128));
    }
    // Paletted, odd width, two-colour with a threshold of its own.
    const BmpPicture camera = read_bmp(pictures + "camera-8bit.bmp");
    ASSERT_EQ(run("gray --two-color --threshold 100 " + pictures + "camera-8bit.bmp " + tmp("c.bmp")).status, 0);
    const BmpPicture bw = read_bmp(tmp("c.bmp"));
    ASSERT_EQ(bw.width, 171);
    for (int y = 0; y < bw.height; ++y) {
        for (int x = 0; x < 171; ++x) ASSERT_EQ(bw.at(x, y), gray_of(camera.at(x, y), true, 100));
    }
}

TEST_F(CliPicture, GrayFitCentresThePictureOnWhite) {
    const BmpPicture coffee = read_bmp(pictures + "coffee.bmp");
    ASSERT_EQ(run("gray " + pictures + "coffee.bmp " + tmp("f.bmp") + " --fit 300x300").status, 0);
    const BmpPicture fitted = read_bmp(tmp("f.bmp"));
    ASSERT_EQ(fitted.width, 300);
    ASSERT_EQ(fitted.height, 300);
    // 600 x 400 into 300 x 300: 300 x 200 at top 50; each kept pixel is the
    // source pixel under the centre of the destination pixel.
    for (int y = 0; y < 300; ++y) {
        for (int x = 0; x < 300; ++x) {
            const Bgr want = y < 50 || y >= 250 ? white
                                                : gray_of(coffee.at(2 * x + 1, 2 * (y - 50) + 1), false, 128);
            ASSERT_EQ(fitted.at(x, y), want) << x << "," << y;
        }
    }
}

TEST_F(CliPicture, GrayReadsOtherFormats) {
    for (const auto& [name, width, height] :
         {std::tuple{"chelsea.gif", 451, 300}, {"coffee.jpg", 600, 400}, {"chelsea-small.bmp", 48, 32},
          {"chelsea.ico", 32, 32}, {"camera.png", 512, 512}}) {
        ASSERT_EQ(run("gray -f " + pictures + name + " " + tmp("o.bmp")).status, 0) << name;
        const BmpPicture out = read_bmp(tmp("o.bmp"));
        EXPECT_EQ(out.width, width) << name;
        EXPECT_EQ(out.height, height) << name;
        EXPECT_TRUE(std::all_of(out.pixels.begin(), out.pixels.end(),
                                [](Bgr p) { return p.b == p.g && p.g == p.r && p.b >= 128; }))
            << name;
    }
}

TEST_F(CliPicture, UnreadablePicturesExitTwoWithTheReason) {
    std::ofstream(tmp("empty.png")).close();
    std::ofstream(tmp("junk.bmp")) << "BM this is no bitmap";
    for (const std::string& in : {tmp("missing.png"), tmp(""), tmp("empty.png"), tmp("junk.bmp")}) {
        const CliRun r = run("gray " + in + " " + tmp("out.png"));
        EXPECT_EQ(r.status, 2) << in;
        EXPECT_NE(r.err.find("cannot read " + in + ": "), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(tmp("out.png"))) << in;
    }
    EXPECT_EQ(run("blur " + tmp("missing.png") + " " + tmp("out.png")).status, 2);
    EXPECT_EQ(run("smooth --lower-bound 1 " + pictures + "coffee.bmp " + tmp("out.png")).status, 1);
    EXPECT_EQ(run("gray " + pictures + "coffee.bmp " + tmp("no/dir/out.png")).status, 2);
    EXPECT_EQ(run("gray " + pictures + "coffee.bmp " + tmp("o.png") + " --threshold 256").status, 1);
    EXPECT_EQ(run("gray " + pictures + "coffee.bmp " + tmp("o.png") + " --fit 0x10").status, 1);
    EXPECT_EQ(run("gray " + pictures + "coffee.bmp " + tmp("o.png") + " --dpi 0").status, 1);
}

TEST_F(CliPicture, BlurAndSmoothFilterThePicturesPixels) {
    const BmpPicture coffee = read_bmp(pictures + "coffee.bmp");
    const BmpPicture camera = read_bmp(pictures + "camera-8bit.bmp");
    ASSERT_EQ(run("blur " + pictures + "coffee.bmp " + tmp("b.bmp")).status, 0);
    ASSERT_EQ(run("smooth " + pictures + "camera-8bit.bmp " + tmp("s.bmp")).status, 0);

    std::vector<std::uint8_t> want_blur = buffer_of(coffee);
    ByteArrayView blur_view(want_blur.data(), static_cast<std::uint32_t>(want_blur.size()), 0);
    filters::blur_kernels.literal(blur_view, coffee.width, coffee.height);
    EXPECT_EQ(buffer_of(read_bmp(tmp("b.bmp"))), want_blur);

    std::vector<std::uint8_t> want_smooth = buffer_of(camera);
    ByteArrayView smooth_view(want_smooth.data(), static_cast<std::uint32_t>(want_smooth.size()), 0);
    filters::median_cut_kernels.literal(smooth_view, camera.width, camera.height);
    EXPECT_EQ(buffer_of(read_bmp(tmp("s.bmp"))), want_smooth);
    EXPECT_NE(want_smooth, buffer_of(camera));  // the filter did change something
}

// The format written follows OUT's extension (any case) or --format; an OUT
// the tool cannot write is refused before any work and nothing is written.
TEST_F(CliPicture, OutputFormatsFollowTheExtensionOrFormat) {
    struct Case {
        const char* out;
        const char* options;
        int status;
        std::string magic;  // the file's first bytes; empty: no file
    };
    const std::string png = "\x89PNG", jpeg = "\xFF\xD8\xFF", bmp = "BM";
    for (const Case& c : std::initializer_list<Case>{
             {"o.png", "", 0, png},
             {"o.PNG", "", 0, png},
             {"o.jpg", "--quality 40", 0, jpeg},
             {"o.JPEG", "", 0, jpeg},
             {"o.bmp", "", 0, bmp},
             {"o.webp", "", 0, "RIFF"},
             {"o.tif", "", 0, "II*"},
             {"o", "--format jpeg", 0, jpeg},
             {"o.out", "--format bmp", 0, bmp},
             {"-", "", 0, png},
             {"-", "--format JPG", 0, jpeg},
             {"o.gif", "", 1, ""},
             {"o.txt", "", 1, ""},
             {"o.jpg", "--format png", 1, ""},
             {"o.png", "--quality 80", 1, ""},
             {"o.jpg", "--quality 0", 1, ""},
             {"o.png", "--format svg", 1, ""},
         }) {
        const std::string out = c.out == std::string("-") ? tmp("stdout") : tmp(c.out);
        const std::string target = c.out == std::string("-") ? "- > " + out : out;
        // Standard input as IN: the format is found from the bytes.
        const CliRun r = run("blur " + std::string(c.options) + " - " + target + " < " + pictures + "coffee.jpg");
        EXPECT_EQ(r.status, c.status) << c.out << " " << c.options << ": " << r.err;
        const std::vector<std::uint8_t> written = test::file_bytes(out);
        const std::string head(written.begin(), written.begin() + std::min(c.magic.size(), written.size()));
        EXPECT_EQ(head, c.magic) << c.out << " " << c.options;
        if (c.status != 0 && *c.options == '\0') {  // a refused extension: the list of formats
            EXPECT_NE(r.err.find("png, jpeg"), std::string::npos) << r.err;
        }
        fs::remove(out);
    }
}

// The pixels of an image as read back, in the buffer layout.
std::vector<std::uint8_t> decoded(const std::string& path) { return read_picture_file(path).pixels; }

// The streamed filters give the bytes of filter_pixels over the whole
// decoded picture, whatever the picture's height (where the strips are cut)
// and the number of threads.
TEST_F(CliPicture, StreamedFiltersMatchTheWholePicture) {
    const Image photo = read_picture_file(pictures + "astronaut.png");
    for (const auto& [width, height] : {std::pair{3, 4}, {5, 5}, {17, 130}, {512, 257}, {301, 512}}) {
        // A window of the photo, so that the filters have edges to keep.
        Image image{width, height, {}};
        image.pixels.assign(static_cast<std::size_t>(image.stride()) * height, 0);
        for (int y = 0; y < height; ++y) {
            std::copy_n(&photo.pixels[static_cast<std::size_t>(y) * photo.stride()], 3 * width,
                        &image.pixels[static_cast<std::size_t>(y) * image.stride()]);
        }
        write_picture_file(tmp("in.png"), image);
        for (const FilterRow& row : pixel_filters) {
            const PixelFilter filter = row.filter;
            Image want = image;
            filter_pixels(filter, {want.pixels.data() + static_cast<std::size_t>(height - 1) * want.stride(), -want.stride()},
                          width, height);
            for (const int threads : {1, 2, 3, 7}) {
                const std::string command(row.name);
                ASSERT_EQ(run(command + " -f --threads " + std::to_string(threads) + " " + tmp("in.png") + " " +
                              tmp("out.png")).status, 0);
                ASSERT_EQ(decoded(tmp("out.png")), want.pixels)
                    << command << " " << width << "x" << height << " on " << threads << " threads";
            }
        }
    }
}

// A 200-megapixel photo goes through with default options, streamed: the
// process holds a small part of it. gray, which paints the whole picture,
// keeps a limit of its own.
TEST_F(CliPicture, TwoHundredMegapixelPhotoStreams) {
    {
        const platform::UniqueFd file(::open(tmp("big.jpg").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644));
        platform::DescriptorSink sink(file.get(), "big.jpg");
        codecs::PictureInfo info;
        info.width = 16320, info.height = 12240;
        const auto writer = codecs::jpeg_writer(sink, info, 50);
        const std::vector<std::uint8_t> gray(std::size_t{16320} * 3, 90);
        for (int y = 0; y < info.height; ++y) writer->write_rows(gray.data(), 0, 1);
        writer->finish();
    }
    const CliRun blur = run("blur " + tmp("big.jpg") + " " + tmp("out.jpg"));
    ASSERT_EQ(blur.status, 0) << blur.err;
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    // The picture is 585 MiB; AddressSanitizer's shadow and quarantine add their own.
#if defined(__SANITIZE_ADDRESS__)
    constexpr long peak_kib = 500 * 1024;
#else
    constexpr long peak_kib = 200 * 1024;
#endif
    EXPECT_LT(usage.ru_maxrss, peak_kib) << "kilobytes at the peak";
    const CliRun back = run("smooth --max-pixels 199756799 " + tmp("out.jpg") + " " + tmp("o.png"));
    EXPECT_EQ(back.status, 2);
    EXPECT_NE(back.err.find("16320 x 12240 pixels, more than the limit of 199756799 pixels"), std::string::npos)
        << back.err;
    EXPECT_EQ(run("gray " + tmp("big.jpg") + " " + tmp("g.png")).status, 2);
}

// An icon holding a PNG image streams as the PNG alone would, never decoded
// whole (once it was, twice over).
TEST_F(CliPicture, AnIconHoldingALargePngStreams) {
    codecs::MemorySink png;
    codecs::PictureInfo info;
    info.width = 16384, info.height = 4096;
    const auto writer = codecs::png_writer(png, info);
    const std::vector<std::uint8_t> row(std::size_t{16384} * 3, 200);
    for (int y = 0; y < info.height; ++y) writer->write_rows(row.data(), 0, 1);
    writer->finish();
    const auto size = static_cast<std::uint32_t>(png.bytes().size());
    // One entry of the directory, pointing past it at the PNG file.
    std::vector<std::uint8_t> icon = {0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 1, 0, 32, 0};
    for (const std::uint32_t v : {size, 22u}) {
        for (int b = 0; b < 4; ++b) icon.push_back(static_cast<std::uint8_t>(v >> (8 * b)));
    }
    icon.insert(icon.end(), png.bytes().begin(), png.bytes().end());
    std::ofstream(tmp("big.ico"), std::ios::binary).write(reinterpret_cast<const char*>(icon.data()),
                                                         static_cast<std::streamsize>(icon.size()));
    const CliRun blur = run("blur " + tmp("big.ico") + " " + tmp("out.png"));
    ASSERT_EQ(blur.status, 0) << blur.err;
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    EXPECT_LT(usage.ru_maxrss, 100 * 1024) << "kilobytes at the peak for 192 MiB of pixels";
}

// A picture cut short anywhere in its pixels is refused: no output, exit 2,
// and ColorToBN (under gray) reports failure.
TEST_F(CliPicture, TruncatedPicturesAreRefused) {
    for (const char* name : {"coffee.jpg", "rocket.jpg", "astronaut.png", "camera.png", "chelsea.gif",
                             "coffee.bmp", "camera-8bit.bmp", "chelsea-small.bmp", "chelsea.ico"}) {
        const std::vector<std::uint8_t> bytes = test::file_bytes(pictures + name);
        for (const std::size_t cut : {bytes.size() / 20, bytes.size() / 2, bytes.size() * 9 / 10}) {
            std::ofstream(tmp("cut"), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                              static_cast<std::streamsize>(cut));
            for (const std::string command : {"blur", "gray"}) {
                const CliRun r = run(command + " " + tmp("cut") + " " + tmp("out.png"));
                EXPECT_EQ(r.status, 2) << command << " " << name << " cut at " << cut;
                EXPECT_FALSE(fs::exists(tmp("out.png"))) << command << " " << name << " cut at " << cut;
            }
            EXPECT_EQ(run("smooth - " + tmp("out.jpg") + " < " + tmp("cut")).status, 2) << name;
            EXPECT_FALSE(fs::exists(tmp("out.jpg"))) << name << " cut at " << cut;
        }
    }
}

TEST_F(CliPicture, FitAndScalePrintTheirResults) {
    EXPECT_EQ(run("fit 101 50 100 100").out, "26 0 50 50\n");
    EXPECT_EQ(run("fit 200 200 640 480").out, "0 25 200 150\n");
    const CliRun zero = run("fit 400 300 0 300");
    EXPECT_EQ(zero.status, 3);
    EXPECT_NE(zero.err.find("Floating-point error"), std::string::npos) << zero.err;
    EXPECT_EQ(run("scale-x 2540").out, "96\n");
    EXPECT_EQ(run("scale-x -2540").out, "-96\n");
    EXPECT_EQ(run("scale-y 2540 --dpi 120").out, "120\n");
    const CliRun overflow = run("scale-x 1e9");
    EXPECT_EQ(overflow.status, 3);
    EXPECT_NE(overflow.err.find("Overflow (error 6)"), std::string::npos) << overflow.err;
    EXPECT_EQ(run("scale-x 2540 --dpi 96,96").status, 1);
    EXPECT_EQ(run("fit 1 2 3").status, 1);
}

}  // namespace
}  // namespace orvessa
