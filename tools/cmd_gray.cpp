// orvessa gray IN OUT [--two-color] [--threshold N] [--fit WIDTHxHEIGHT] [--dpi X[,Y]]
//   [--format F] [--quality Q]
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>

#include "cli.hpp"
#include "orvessa/error.hpp"
#include "orvessa/pictava.hpp"
#include "orvessa/portable_platform.hpp"
#include "platform/platform.hpp"

namespace orvessa::cli {

namespace {

struct Size {
    std::int32_t width, height;
};

// The pixel size that ColorToBN will measure: the picture's HIMETRIC extents
// through ScaleX and ScaleY. Raises the loader's or the conversion's error.
Size natural_size(Pictava& effects, const std::u16string& name) {
    const auto picture = default_platform().load_picture(name);
    const std::int32_t width = effects.ScaleX(static_cast<float>(picture->himetric_width()));
    const std::int32_t height = effects.ScaleY(static_cast<float>(picture->himetric_height()));
    return {width, height};
}

int not_converted(std::string_view in, const std::string& why) {
    complain(std::string(in) + ": the picture could not be converted" +
             (why.empty() ? "" : ": " + reason_for(in, why)));
    return exit_file;
}

// ColorToBN loads a picture by its file name: standard input is first
// copied to a temporary file, unlinked at once and named through
// /proc/self/fd, so that nothing is left behind however the run ends. More
// than max_input_bytes is refused rather than written to the disk.
class StandardInputFile {
public:
    static constexpr std::int64_t max_input_bytes = std::int64_t{1} << 30;

    // The reason when the copy cannot be made, else empty.
    std::string copy() {
        const char* dir = std::getenv("TMPDIR");
        std::string name = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/orvessa-stdin-XXXXXX";
        file_.reset(::mkstemp(name.data()));
        if (file_.get() < 0) return name + ": " + std::strerror(errno);
        ::unlink(name.c_str());
        char buffer[1 << 16];
        std::int64_t total = 0;
        for (;;) {
            ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) return std::strerror(errno);
            if (got == 0) return {};
            total += got;
            if (total > max_input_bytes) return "more than 1 GiB";
            for (const char* next = buffer; got > 0;) {
                const ssize_t put = ::write(file_.get(), next, static_cast<std::size_t>(got));
                if (put < 0 && errno == EINTR) continue;
                if (put <= 0) return std::strerror(put < 0 ? errno : EIO);
                next += put;
                got -= put;
            }
        }
    }
    std::string path() const { return "/proc/self/fd/" + std::to_string(file_.get()); }

private:
    platform::UniqueFd file_{-1};
};

struct GraySettings {
    bool two_color;
    std::uint8_t threshold;
    std::optional<std::pair<std::int32_t, std::int32_t>> fit;
};

int gray_file(const GraySettings& gray, std::string_view in, std::string_view file,
              const PictureOutput& out);

int gray_picture(const GraySettings& gray, std::string_view in, const PictureOutput& out) {
    if (in != "-") return gray_file(gray, in, in, out);
    StandardInputFile input;
    if (const std::string why = input.copy(); !why.empty()) {
        complain("cannot read standard input: " + why);
        return exit_file;
    }
    return gray_file(gray, "standard input", input.path(), out);
}

// IN as messages name it, read from `file`.
int gray_file(const GraySettings& gray, std::string_view in, std::string_view file,
              const PictureOutput& out) {
    const auto name = utf16_file_name(file);
    if (!name) {
        complain(std::string(in) + ": the file name is not UTF-8");
        return exit_file;
    }
    Pictava effects;
    Size size{};
    try {
        size = natural_size(effects, *name);
    } catch (const Error& e) {
        return not_converted(in, reason_for(file, e.description()));
    }
    if (gray.fit) size = {gray.fit->first, gray.fit->second};
    if (size.width <= 0 || size.height <= 0) return not_converted(in, "it has no pixels");
    if (std::int64_t{size.width} * size.height > max_picture_pixels) {
        return not_converted(in, "the result would be too large");
    }

    try {
        const Surface surface(size.width, size.height);
        const bool painted = effects.ColorToBN(*name, surface.hdc(), 0, gray.two_color ? -1 : 0,
                                               gray.threshold, gray.fit ? -1 : 0, size.width, size.height);
        if (!painted) return not_converted(in, "");
        return save_picture(out, surface.to_image()) ? exit_ok : exit_file;
    } catch (const std::bad_alloc&) {
        return not_converted(in, "out of memory");
    }
}

}  // namespace

int run_gray_command(Args args) {
    std::vector<std::string_view> accepted{"--threshold", "--fit", "--dpi", "--two-color"};
    accepted.insert(accepted.end(), picture_run_options.begin(), picture_run_options.end());
    const auto parsed = parse_args(args, accepted);
    if (!parsed) return exit_usage;
    GraySettings gray{parsed->has("--two-color"), default_threshold, std::nullopt};
    if (const auto text = parsed->option("--threshold")) {
        const auto value = parse_int32(*text);
        if (!value || *value < 0 || *value > 255) return usage_error("--threshold wants 0 to 255");
        gray.threshold = static_cast<std::uint8_t>(*value);
    }
    if (const auto text = parsed->option("--fit")) {
        gray.fit = parse_size(*text);
        if (!gray.fit || gray.fit->first <= 0 || gray.fit->second <= 0) {
            return usage_error("--fit wants WIDTHxHEIGHT, two positive integers");
        }
    }
    if (!apply_dpi_option(*parsed, true)) return exit_usage;
    // Painting runs on the calling thread: a job is one thread.
    return run_pictures("gray", *parsed, 1,
                        [gray](std::string_view in, const PictureOutput& out, std::int32_t) {
                            return gray_picture(gray, in, out);
                        });
}

}  // namespace orvessa::cli
