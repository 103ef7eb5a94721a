// orvessa blur|smooth IN OUT: the filter over a picture file's pixels, laid
// out as the 24-bit bottom-up buffer, and the result saved as a picture.
#include "cli.hpp"
#include "orvessa/error.hpp"
#include "orvessa/pictava.hpp"
#include "orvessa/portable_platform.hpp"

namespace orvessa::cli {

int run_picture_filter(std::string_view filter, std::string_view in, std::string_view out,
                       const FilterOptions& options, Replace replace) {
    Image image;
    try {
        image = read_picture_file(std::string(in));
    } catch (const Error& e) {
        complain("cannot read " + std::string(in) + ": " + reason_for(in, e.description()));
        return exit_file;
    }
    ByteArrayView array(image.pixels.data(), static_cast<std::uint32_t>(image.pixels.size()), 0);
    int status = exit_ok;
    try {
        Pictava effects(nullptr);
        if (filter == "blur") {
            effects.Blur_Buffer(array, image.width, image.height, options);
        } else {
            effects.MedianCut_Buffer(array, image.width, image.height, options);
        }
    } catch (const Error& e) {
        complain(e.description() + " (error " + std::to_string(e.number()) + ")");
        status = exit_method;
    }
    // As with raw buffers, OUT receives the pixels as the method left them.
    if (!save_picture(out, image, replace)) return exit_file;
    return status;
}

}  // namespace orvessa::cli
