// orvessa gray IN OUT [--two-color] [--threshold N] [--fit WIDTHxHEIGHT] [--dpi X[,Y]]
//   [--format F] [--quality Q]
#include <stdexcept>

#include "cli.hpp"
#include "orvessa/argument_rules.hpp"
#include "orvessa/pictava.hpp"

namespace orvessa::cli {

int run_gray_command(Args args) {
    std::vector<std::string_view> accepted{"--threshold", "--fit", "--dpi", "--two-color"};
    accepted.insert(accepted.end(), picture_run_options.begin(), picture_run_options.end());
    const auto parsed = parse_args(args, accepted);
    if (!parsed) return exit_usage;
    GraySettings gray{parsed->has("--two-color"), default_threshold, std::nullopt};
    if (const auto text = parsed->option("--threshold")) {
        const auto threshold = ruled_option("--threshold", *text, checked_threshold);
        if (!threshold) return exit_usage;
        gray.threshold = *threshold;
    }
    if (const auto text = parsed->option("--fit")) {
        const auto size = parse_size(*text);
        if (!size) return usage_error("--fit wants WIDTHxHEIGHT, two 32-bit integers");
        try {
            gray.fit = checked_box(size->first, size->second, "--fit");
        } catch (const std::invalid_argument& e) {
            return usage_error(e.what());
        }
    }
    if (!apply_dpi_option(*parsed, true)) return exit_usage;
    auto settings = picture_settings(*parsed);
    if (!settings) return exit_usage;
    // Painting runs on the calling thread: a job is one thread.
    settings->threads = 1;
    return run_pictures("gray", *parsed, *settings,
                        [gray](const std::string& in, const std::string& out, const PictureSettings& s) {
                            gray_picture_file(in, out, gray, s);
                        });
}

}  // namespace orvessa::cli
