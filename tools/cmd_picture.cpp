// Pieces shared by the picture commands: file names, resolutions, saving.
#include <stdexcept>

#include "cli.hpp"
#include "orvessa/error.hpp"
#include "orvessa/portable_platform.hpp"

namespace orvessa::cli {

bool apply_dpi_option(const ParsedArgs& parsed, bool pair_allowed) {
    const auto text = parsed.option("--dpi");
    if (!text) return true;
    const auto comma = text->find(',');
    const auto x = parse_int32(text->substr(0, comma));
    const auto y = comma == std::string_view::npos ? x : parse_int32(text->substr(comma + 1));
    if (!x || !y || *x <= 0 || *y <= 0 || (!pair_allowed && comma != std::string_view::npos)) {
        usage_error(pair_allowed ? "--dpi wants X or X,Y, positive integers"
                                 : "--dpi wants a positive integer");
        return false;
    }
    set_logical_resolution(*x, *y);
    return true;
}

bool save_picture(std::string_view path, const Image& image) {
    std::vector<std::uint8_t> bytes;
    try {
        bytes = encode_picture(image, has_bmp_suffix(std::string(path)));
    } catch (const Error& e) {
        complain("cannot write " + std::string(path) + ": " + e.description());
        return false;
    }
    // Written as the raw arrays are, so that OUT is never waited on.
    return write_all(path, bytes);
}

}  // namespace orvessa::cli
