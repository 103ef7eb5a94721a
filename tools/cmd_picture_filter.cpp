// orvessa blur|smooth IN OUT: the filter over a picture's pixels as they
// stream from the decoder to the encoder, a strip of rows at a time.
#include <unistd.h>

#include <optional>

#include "cli.hpp"
#include "orvessa/error.hpp"
#include "orvessa/picture_stream.hpp"

namespace orvessa::cli {

int run_picture_filter(std::string_view filter, const ParsedArgs& parsed,
                       const FilterOptions& options) {
    if (parsed.has("--lower-bound")) return usage_error("--lower-bound goes with --raw");
    if (parsed.positional.size() != 2) return usage_error(std::string(filter) + " wants IN and OUT");
    std::int64_t max_pixels = default_stream_pixels;
    if (const auto text = parsed.option("--max-pixels")) {
        const auto value = parse_int64(*text);
        if (!value || *value < 1) return usage_error("--max-pixels wants a positive count");
        max_pixels = *value;
    }
    const auto output = picture_output(parsed);
    if (!output) return exit_usage;
    const std::string in(parsed.positional[0]);
    if (same_file(in, output->path)) return exit_file;

    std::optional<PictureStream> result;
    try {
        set_picture_threads(options.threads);
        const PictureStream picture =
            in == "-" ? PictureStream::open_descriptor(STDIN_FILENO, "standard input", max_pixels)
                      : PictureStream::open_file(in, max_pixels);
        result = picture.filtered(filter == "blur" ? PixelFilter::blur : PixelFilter::smooth);
    } catch (const Error& e) {
        const bool limit = e.hresult() == control_hresult(7);
        complain("cannot read " + in + ": " + e.description() + (limit ? " (see --max-pixels)" : ""));
        return exit_file;
    }
    return save_picture(*output, *result) ? exit_ok : exit_file;
}

}  // namespace orvessa::cli
