// orvessa fit BOX_W BOX_H PIC_W PIC_H: the fitted, centred rectangle.
#include <iostream>

#include "cli.hpp"
#include "convert/fit_to_box.hpp"
#include "orvessa/error.hpp"

namespace orvessa::cli {

int run_fit_command(Args args) {
    const auto parsed = parse_args(args, {});
    if (!parsed) return exit_usage;
    if (parsed->positional.size() != 4) return usage_error("fit wants BOX_W BOX_H PIC_W PIC_H");
    std::int32_t v[4];
    for (int i = 0; i < 4; ++i) {
        const auto value = parse_int32(parsed->positional[i]);
        if (!value) return usage_error("fit wants four 32-bit integers");
        v[i] = *value;
    }
    std::int32_t left = 0, top = 0, width = 0, height = 0;
    try {
        convert::fit_to_box(v[0], v[1], v[2], v[3], left, top, width, height);
    } catch (const Error& e) {
        return method_error(e);
    }
    std::cout << left << ' ' << top << ' ' << width << ' ' << height << '\n';
    return exit_ok;
}

}  // namespace orvessa::cli
