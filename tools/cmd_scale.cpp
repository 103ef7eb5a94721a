// orvessa scale-x HIMETRIC [--dpi X]; orvessa scale-y HIMETRIC [--dpi Y]
#include <array>
#include <charconv>
#include <iostream>

#include "cli.hpp"
#include "orvessa/error.hpp"
#include "orvessa/pictava.hpp"

namespace orvessa::cli {

int run_scale_command(std::string_view axis, Args args) {
    static constexpr std::array<std::string_view, 1> accepted{"--dpi"};
    const auto parsed = parse_args(args, accepted);
    if (!parsed) return exit_usage;
    if (parsed->positional.size() != 1) return usage_error(std::string(axis) + " wants HIMETRIC");
    const std::string_view text = parsed->positional[0];
    float himetric = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), himetric);
    if (ec != std::errc{} || end != text.data() + text.size()) {
        return usage_error("HIMETRIC wants a number");
    }
    if (!apply_dpi_option(*parsed, false)) return exit_usage;
    try {
        Pictava effects;
        std::cout << (axis == "scale-x" ? effects.ScaleX(himetric) : effects.ScaleY(himetric)) << '\n';
    } catch (const Error& e) {
        return method_error(e);
    }
    return exit_ok;
}

}  // namespace orvessa::cli
