// orvessa blur|smooth IN OUT: the filter over a picture's pixels as they
// stream from the decoder to the encoder, a strip of rows at a time.
#include <unistd.h>

#include <optional>

#include "cli.hpp"
#include "orvessa/error.hpp"
#include "orvessa/picture_stream.hpp"

namespace orvessa::cli {

int run_picture_filter(std::string_view filter, std::string_view in_path, const PictureOutput& output,
                       const FilterOptions& options, std::int64_t max_pixels) {
    const std::string in(in_path);
    std::optional<PictureStream> result;
    try {
        set_picture_threads(options.threads);
        const PictureStream picture =
            in == "-" ? PictureStream::open_descriptor(STDIN_FILENO, "standard input", max_pixels)
                      : PictureStream::open_file(in, max_pixels);
        result = picture.filtered(filter == "blur" ? PixelFilter::blur : PixelFilter::smooth);
    } catch (const Error& e) {
        const bool limit = e.hresult() == control_hresult(7);
        complain("cannot read " + in + ": " + reason_for(in, e.description()) + (limit ? " (see --max-pixels)" : ""));
        return exit_file;
    }
    return save_picture(output, *result) ? exit_ok : exit_file;
}

}  // namespace orvessa::cli
