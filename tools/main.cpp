// orvessa: the command-line face of the Orvessa image effects.
#include <exception>
#include <iostream>
#include <new>
#include <string_view>
#include <vector>

#include "cli.hpp"
#include "orvessa/version.hpp"

namespace {

constexpr std::string_view version_text = "orvessa " ORVESSA_VERSION_TEXT;

constexpr std::string_view help_text = R"(usage: orvessa COMMAND [OPTIONS] ARGS

Commands:
  blur   --raw WIDTHxHEIGHT [--lower-bound N] IN OUT
         3 x 3 weighted blur of a 24-bit bottom-up pixel buffer, in place.
  smooth --raw WIDTHxHEIGHT [--lower-bound N] IN OUT
         edge-adaptive smoothing of the same kind of buffer.
  blur IN OUT, smooth IN OUT [--max-pixels N] [--format F] [--quality Q]
         the same filters over a picture, streamed from IN to OUT a strip
         of rows at a time.
  gray IN OUT [--two-color] [--threshold N] [--fit WIDTHxHEIGHT] [--dpi X[,Y]]
         [--format F] [--quality Q]
         picture IN turned gray (128 to 255) or, with --two-color, black and
         white above threshold N (default 128); painted at its natural size,
         or fitted and centred into a white WIDTH x HEIGHT box.
  fit BOX_W BOX_H PIC_W PIC_H
         prints the fitted, centred rectangle: left top width height.
  scale-x HIMETRIC [--dpi X], scale-y HIMETRIC [--dpi Y]
         prints a HIMETRIC length in whole pixels (96 per inch by default).

  With --raw, IN holds the array's elements (any length) and OUT receives
  them after the call; '-' is standard input or output. WIDTH and HEIGHT are
  any 32-bit integers (--raw=-5x10 for negative ones); N is the array's
  lowest index. --path NAME forces a filter implementation (auto, literal,
  scalar, sse2, ssse3, avx2, avx512). --threads N runs a filter on N
  threads (default: every core the process may use); the bytes are the same
  for every N.

Pictures:
  read   JPEG, PNG, BMP, GIF (its first frame), TIFF, WebP, ICO, PNM, SVG;
         the format is found from the bytes. blur and smooth read '-' as
         standard input.
  write  PNG (.png), JPEG (.jpg, .jpeg), BMP (.bmp), WebP (.webp), TIFF
         (.tif, .tiff), chosen by OUT's extension in any case. --format
         png|jpeg|bmp|webp|tiff names the format of an OUT without one of
         these extensions ('-' is standard output, PNG unless told). An OUT
         whose extension names no format written here is refused before any
         work (exit 1). --quality Q (1 to 100, default 85) sets the JPEG and
         WebP quality. Transparent parts are laid over white.
  limits A picture's declared size is checked before it is decoded. blur
         and smooth take up to 268435456 pixels (16384 x 16384, a 200-
         megapixel photo) or --max-pixels N; they hold a few rows at a time,
         except for BMP, TIFF and WebP output, which hold the whole picture.
         gray holds the whole picture and takes up to 67108864 pixels (8192
         x 8192), for the picture and for the box of --fit.

  IN must be a regular file or '-'; an OUT that names IN is refused, so an
  input file is never overwritten. A picture cut short or corrupt is
  refused (exit 2) and leaves no OUT.

Options: --help, --version.

Exit status: 0 done; 1 usage error; 2 a file cannot be read or written, or
the picture could not be converted; 3 the method raised an error (OUT still
receives the array as it was left).
)";

}  // namespace

namespace orvessa::cli {

int run(Args args) {
    if (args.empty()) return usage_error("no command given");
    const std::string_view command = args.front();
    if (command == "--help" || command == "-h") {
        std::cout << help_text;
        return exit_ok;
    }
    if (command == "--version") {
        std::cout << version_text << '\n';
        return exit_ok;
    }
    const Args rest(args.data() + 1, args.size() - 1);
    if (command == "blur" || command == "smooth") return run_filter_command(command, rest);
    if (command == "gray") return run_gray_command(rest);
    if (command == "fit") return run_fit_command(rest);
    if (command == "scale-x" || command == "scale-y") return run_scale_command(command, rest);
    return usage_error("unknown command " + std::string(command));
}

}  // namespace orvessa::cli

#ifndef ORVESSA_CLI_NO_MAIN
int main(int argc, char** argv) {
    using namespace orvessa::cli;
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    // The commands report their own failures; this is the last guard that
    // keeps any other one an exit status with a message, never an abort.
    try {
        return run(args);
    } catch (const std::bad_alloc&) {
        complain("out of memory");
    } catch (const std::exception& e) {
        complain(e.what());
    }
    return exit_file;
}
#endif
