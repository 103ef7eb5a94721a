// orvessa gray IN OUT [--two-color] [--threshold N] [--fit WIDTHxHEIGHT] [--dpi X[,Y]]
//   [--format F] [--quality Q]
#include <array>
#include <new>

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
    complain(std::string(in) + ": the picture could not be converted" + (why.empty() ? "" : ": " + why));
    return exit_file;
}

}  // namespace

int run_gray_command(Args args) {
    static constexpr std::array<std::string_view, 5> valued{"--threshold", "--fit", "--dpi",
                                                            "--format", "--quality"};
    static constexpr std::array<std::string_view, 1> flags{"--two-color"};
    const auto parsed = parse_args(args, valued, flags);
    if (!parsed) return exit_usage;
    if (parsed->positional.size() != 2) return usage_error("gray wants IN and OUT");
    std::uint8_t threshold = default_threshold;
    if (const auto text = parsed->option("--threshold")) {
        const auto value = parse_int32(*text);
        if (!value || *value < 0 || *value > 255) return usage_error("--threshold wants 0 to 255");
        threshold = static_cast<std::uint8_t>(*value);
    }
    std::optional<std::pair<std::int32_t, std::int32_t>> fit;
    if (const auto text = parsed->option("--fit")) {
        fit = parse_size(*text);
        if (!fit || fit->first <= 0 || fit->second <= 0) {
            return usage_error("--fit wants WIDTHxHEIGHT, two positive integers");
        }
    }
    if (!apply_dpi_option(*parsed, true)) return exit_usage;
    const auto output = picture_output(*parsed);
    if (!output) return exit_usage;
    const std::string_view in = parsed->positional[0], out = parsed->positional[1];
    const auto name = utf16_file_name(in);
    if (!name) return usage_error("the file name IN is not UTF-8");
    if (same_file(in, out)) return exit_file;

    Pictava effects;
    Size size{};
    try {
        size = natural_size(effects, *name);
    } catch (const Error& e) {
        return not_converted(in, e.description());
    }
    if (fit) size = {fit->first, fit->second};
    if (size.width <= 0 || size.height <= 0) return not_converted(in, "it has no pixels");
    if (std::int64_t{size.width} * size.height > max_picture_pixels) {
        return not_converted(in, "the result would be too large");
    }

    try {
        const Surface surface(size.width, size.height);
        const bool painted = effects.ColorToBN(*name, surface.hdc(), 0,
                                               parsed->has("--two-color") ? -1 : 0, threshold,
                                               fit ? -1 : 0, size.width, size.height);
        if (!painted) return not_converted(in, "");
        return save_picture(*output, surface.to_image()) ? exit_ok : exit_file;
    } catch (const std::bad_alloc&) {
        return not_converted(in, "out of memory");
    }
}

}  // namespace orvessa::cli
