// Pieces shared by the picture commands: resolutions, and the settings of
// the output's format, quality and replacing.
#include <stdexcept>

#include "cli.hpp"
#include "orvessa/argument_rules.hpp"
#include "orvessa/linux_platform.hpp"

namespace orvessa::cli {

bool apply_dpi_option(const ParsedArgs& parsed, bool pair_allowed) {
    const auto text = parsed.option("--dpi");
    if (!text) return true;
    const auto comma = text->find(',');
    const auto x = parse_int32(text->substr(0, comma));
    const auto y = comma == std::string_view::npos ? x : parse_int32(text->substr(comma + 1));
    if (!x || !y || (!pair_allowed && comma != std::string_view::npos)) {
        usage_error(pair_allowed ? "--dpi wants X or X,Y, positive integers"
                                 : "--dpi wants a positive integer");
        return false;
    }
    try {
        set_logical_resolution(checked_dpi(*x, "--dpi"), checked_dpi(*y, "--dpi"));
    } catch (const std::invalid_argument& e) {
        usage_error(e.what());
        return false;
    }
    return true;
}

std::optional<PictureSettings> picture_settings(const ParsedArgs& parsed) {
    PictureSettings settings;
    if (const auto text = parsed.option("--format")) {
        settings.format = picture_format_named(*text);
        if (!settings.format) {
            usage_error("--format " + std::string(*text) + " is not one the tool writes: " + written_picture_formats());
            return std::nullopt;
        }
    }
    if (const auto text = parsed.option("--quality")) {
        settings.quality = ruled_option("--quality", *text, checked_quality);
        if (!settings.quality) return std::nullopt;
    }
    const auto existing = existing_output(parsed);
    if (!existing) return std::nullopt;
    settings.existing = *existing;
    return settings;
}

}  // namespace orvessa::cli
