// orvessa blur|smooth --raw WIDTHxHEIGHT [--lower-bound N] IN OUT
// orvessa blur|smooth IN OUT (picture files)
// Both take --path NAME and --threads N.
#include <limits>

#include "cli.hpp"
#include "orvessa/argument_rules.hpp"
#include "orvessa/error.hpp"
#include "orvessa/filter_path.hpp"
#include "orvessa/pictava.hpp"

namespace orvessa::cli {

namespace {

int run_raw(PixelFilter filter, const ParsedArgs& parsed, const FilterOptions& options) {
    const auto size = parse_size(*parsed.option("--raw"));
    if (!size) return usage_error("--raw wants WIDTHxHEIGHT, two 32-bit integers");
    std::int32_t lower_bound = 0;
    if (const auto text = parsed.option("--lower-bound")) {
        const auto value = parse_int32(*text);
        if (!value) return usage_error("--lower-bound wants a 32-bit integer");
        lower_bound = *value;
    }
    if (parsed.has("--out-dir") || parsed.has("--from")) return usage_error("--raw takes one IN and one OUT");
    if (parsed.positional.size() != 2) return usage_error("wants IN and OUT");
    const auto existing = existing_output(parsed);
    if (!existing) return exit_usage;
    if (refuse_same_file(parsed.positional[0], parsed.positional[1])) return exit_file;
    if (left_alone(parsed, parsed.positional[1])) return exit_ok;
    if (!output_allowed(parsed.positional[1], *existing)) return exit_file;

    std::vector<std::uint8_t> bytes;
    if (!read_all(parsed.positional[0], bytes)) return exit_file;
    if (bytes.size() > std::numeric_limits<std::uint32_t>::max()) return file_failure("input too large for a byte array");
    ByteArrayView array(bytes.data(), static_cast<std::uint32_t>(bytes.size()), lower_bound);

    int status = exit_ok;
    try {
        filter_buffer(filter, array, size->first, size->second, options);
    } catch (const Error& e) {
        status = method_error(e);
    }
    // The array keeps whatever the method wrote before an error.
    try {
        write_file(std::string(parsed.positional[1]), bytes, *existing);
    } catch (const Error& e) {
        return file_error(e);
    }
    return status;
}

}  // namespace

int run_filter_command(PixelFilter filter, Args args) {
    std::vector<std::string_view> accepted{"--raw", "--lower-bound", "--path", "--threads", "--max-pixels"};
    accepted.insert(accepted.end(), picture_run_options.begin(), picture_run_options.end());
    const auto parsed = parse_args(args, accepted);
    if (!parsed) return exit_usage;
    if (const auto name = parsed->option("--path")) {
        const auto path = parse_filter_path(*name);
        if (!path) return usage_error("unknown filter path " + std::string(*name));
        if (!filter_path_available(*path)) return usage_error("filter path " + std::string(*name) + " cannot run here");
        force_filter_path(*path);
    }
    // A tool run owns the machine: every core it may use, unless told.
    FilterOptions options{usable_cores()};
    if (const auto text = parsed->option("--threads")) {
        const auto threads = ruled_option("--threads", *text, checked_threads);
        if (!threads) return exit_usage;
        options.threads = *threads;
    }
    if (parsed->has("--raw")) {
        for (const std::string_view name :
             {"--max-pixels", "--format", "--quality", "--recursive", "--relative", "--base"}) {
            if (parsed->has(name)) return usage_error(std::string(name) + " goes with pictures, not --raw");
        }
        return run_raw(filter, *parsed, options);
    }
    if (parsed->has("--lower-bound")) return usage_error("--lower-bound goes with --raw");
    auto settings = picture_settings(*parsed);
    if (!settings) return exit_usage;
    settings->threads = options.threads;
    if (const auto text = parsed->option("--max-pixels")) {
        const auto limit = ruled_option("--max-pixels", *text, checked_pixel_limit);
        if (!limit) return exit_usage;
        settings->max_pixels = *limit;
    }
    return run_pictures(filter_row(filter).name, *parsed, *settings,
                        [filter](const std::string& in, const std::string& out, const PictureSettings& s) {
                            filter_picture(filter, in, out, s);
                        });
}

}  // namespace orvessa::cli
