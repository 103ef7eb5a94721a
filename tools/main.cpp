// orvessa: the command-line face of the Orvessa image effects.
#include <algorithm>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "cli.hpp"
#include "orvessa/version.hpp"

namespace {

using namespace std::string_view_literals;

constexpr std::string_view version_text = "orvessa " ORVESSA_VERSION_TEXT;

constexpr std::string_view usage_line = "usage: orvessa COMMAND [OPTIONS] ARGS\n";

// Words after the command column, wrapped to 79 columns.
std::string described(std::string_view words) {
    constexpr std::string_view indent = "         ";
    std::string out, line(indent);
    while (!words.empty()) {
        const auto space = words.find(' ');
        const std::string_view word = words.substr(0, space);
        if (line.size() > indent.size() && line.size() + 1 + word.size() > 79) {
            out += line + "\n";
            line = indent;
        }
        if (line.size() > indent.size()) line += ' ';
        line += word;
        words = space == std::string_view::npos ? std::string_view() : words.substr(space + 1);
    }
    return out + line + "\n";
}

// Each filter of the table, over buffers and over pictures.
std::string filter_help() {
    std::string help, pictures;
    for (const orvessa::FilterRow& row : orvessa::pixel_filters) {
        std::string name(row.name);
        name.resize(std::max<std::size_t>(name.size(), 6), ' ');
        help += "  " + name + " --raw WIDTHxHEIGHT [--lower-bound N] IN OUT\n" + described(std::string(row.summary) + ".");
        pictures += std::string(pictures.empty() ? "" : "|") + std::string(row.name);
    }
    help += described("With --raw, IN is a 24-bit bottom-up pixel buffer, filtered in place.");
    return help + "  " + pictures + " IN OUT [--max-pixels N] [--format F] [--quality Q]\n" +
           described("the same filters over a picture, streamed from IN to OUT a band of rows at a time.");
}


constexpr std::string_view gray_help =
    R"(  gray IN OUT [--two-color] [--threshold N] [--fit WIDTHxHEIGHT] [--dpi X[,Y]]
         [--format F] [--quality Q]
         picture IN turned gray (128 to 255) or, with --two-color, black and
         white above threshold N (default 128); painted at its natural size,
         or fitted and centred into a white WIDTH x HEIGHT box.
)";

constexpr std::string_view batch_entry = R"(gray [OPTIONS] -o DIR IN...
         the picture command over many pictures: each IN to DIR/<IN's name>,
         or with --relative to DIR/<IN's path>; with -r, the pictures below
         each folder IN, its folders kept.
)";

// blur|smooth|gray [OPTIONS] -o DIR IN...
std::string batch_entry_text() {
    std::string names;
    for (const orvessa::FilterRow& row : orvessa::pixel_filters) names += std::string(row.name) + "|";
    return "  " + names + std::string(batch_entry);
}

constexpr std::string_view other_help = R"(  fit BOX_W BOX_H PIC_W PIC_H
         prints the fitted, centred rectangle: left top width height.
  scale-x HIMETRIC [--dpi X], scale-y HIMETRIC [--dpi Y]
         prints a HIMETRIC length in whole pixels (96 per inch by default).
)";

constexpr std::string_view filter_notes = R"(
  With --raw, IN holds the array's elements (any length) and OUT receives
  them after the call; '-' is standard input or output. WIDTH and HEIGHT are
  any 32-bit integers (--raw=-5x10 for negative ones); N is the array's
  lowest index. --path NAME forces a filter implementation (auto, literal,
  scalar, sse2, ssse3, avx2, avx512). --threads N runs a filter on N
  threads (default, and 0: every core the process may use); the bytes are
  the same for every N.
)";

constexpr std::string_view picture_notes = R"(
Pictures:
  read   JPEG, PNG, BMP, GIF (its first frame), TIFF, WebP, ICO, CUR, PNM;
         the format is found from the bytes, which only that format's
         reader sees; anything else is refused (an SVG drawing with a way
         to draw it into a PNG). IN '-' is standard input
         (gray holds it in memory first).
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
)";

constexpr std::string_view files_notes = R"(
  An OUT that exists as a regular file is refused unless --force is given
  (or left alone, with --skip-existing).
  A file OUT is written to a temporary file beside it and renamed over it
  when complete: after a failure or an interruption the previous OUT is
  whole and no temporary file remains. Standard output, FIFOs and devices
  are written directly.
)";

constexpr std::string_view batch_help = R"(
Many pictures:
  -o DIR, --out-dir DIR
         writes each picture IN to DIR/<IN's name> (DIR is made if missing),
         in IN's format when the tool writes it, otherwise as PNG; --format
         names another, and the extension changes to match (--quality is
         for the JPEG and WebP ones). Two inputs that would give one output
         are refused before any work (--relative keeps their folders apart).
  --relative
         keeps each IN's folders: IN goes to DIR/<its path relative to the
         current folder> (photos/2019/x.jpg to DIR/photos/2019/x.jpg), the
         folders made as needed. An IN outside the current folder (an
         absolute path elsewhere, '..' going out) is refused on its own line
         and the batch goes on: nothing is written outside DIR.
  --base FOLDER
         --relative, with the paths relative to FOLDER instead.
  -r, --recursive
         an IN that is a folder stands for every picture below it, in name
         order, under DIR/<the folder's name>/ with its folders: -r photos
         writes DIR/photos/2019/x.jpg, -r photos/2019 DIR/2019/x.jpg, and
         -r . the current folder's pictures straight into DIR. Files and
         folders whose names start with '.', linked folders and DIR itself
         are not walked; files that are not pictures are left out and
         counted in the summary. With --relative or --base, the pictures
         keep their whole paths as those options say instead.
  --from FILE
         reads more inputs from FILE ('-': standard input), one a line.
  -0, --null
         --from's names end with a NUL byte instead (find -print0).
  -j N, --jobs N
         pictures in parallel (default: every core the process may use);
         jobs times filter threads never exceed the cores. Each job works on
         one picture at a time, so at most N pictures are open.
  -q, --quiet
         no progress line and no summary.
  --progress
         the progress line even when standard error is not a terminal.

  A picture that cannot be read, converted or written is reported on one
  line and the batch goes on; the end prints a summary (done, failed,
  skipped as existing). With -n, a batch stopped midway and run again does
  just the rest. On a terminal a progress line shows pictures done,
  pictures a second and the time left.
)";

constexpr std::string_view options_help = R"(
Options:
  -f, --force
         replaces an existing OUT (or batch output).
  -n, --skip-existing
         leaves an existing OUT (or batch output) alone, counted as skipped,
         not failed: it does not make the exit status worse. Not with -f.
  -h, --help
         this help; after a command, that command's help.
  --version
         the version.

  Options may stand before or after the command and between arguments;
  '--' ends them. Short options group as -fq, the last of a group taking
  its value attached or as the next argument (-j2, -fqj 2, -oDIR).
)";

constexpr std::string_view examples_help = R"(
Examples:
  orvessa blur --quality 75 -o blurred/ photos/*.jpg
         every photo of a folder, blurred, into another folder.
  find photos -name '*.png' -print0 | orvessa smooth -0 --from - --relative -o out/
         a batch over any number of files, whatever their names, each
         under out/ at its own path.
  orvessa blur -n -r -o blurred photos
         every picture of a photo library, its folders kept; run again
         after a stop, only those not yet done.
  head -c 60 /dev/urandom | orvessa blur --raw 4x5 - - | od -An -tu1
         a raw buffer through pipes.
)";

constexpr std::string_view exit_help = R"(
Exit status: 0 done (in a batch: every picture); 1 usage error, nothing
done; 2 a file cannot be read or written, an OUT exists (without --force
or --skip-existing), or the picture could not be converted; 3 the method
raised an error (OUT still receives the array as it was left). A batch
exits with the highest status of its pictures. 130 or 143: stopped by SIGINT or SIGTERM;
outputs already complete stay, unfinished ones are removed.
)";

std::string full_help() {
    return std::string(usage_line) + "\nCommands:\n" + filter_help() + std::string(gray_help) +
           batch_entry_text() + std::string(other_help) + std::string(filter_notes) +
           std::string(picture_notes) + std::string(files_notes) + std::string(batch_help) +
           std::string(options_help) + std::string(examples_help) + std::string(exit_help);
}

// A command's own help; empty for a command the tool does not know.
std::string command_help(std::string_view command) {
    std::string head = "usage: orvessa " + std::string(command) + " [OPTIONS] ARGS\n\n";
    if (orvessa::filter_named(command) != nullptr) {
        return head + filter_help() + batch_entry_text() + std::string(filter_notes) +
               std::string(picture_notes) + std::string(files_notes) + std::string(batch_help) +
               std::string(options_help) + std::string(exit_help);
    }
    if (command == "gray") {
        return head + std::string(gray_help) + batch_entry_text() + std::string(picture_notes) +
               std::string(files_notes) + std::string(batch_help) + std::string(options_help) +
               std::string(exit_help);
    }
    if (command == "fit" || command == "scale-x" || command == "scale-y") {
        return head + std::string(other_help) + std::string(exit_help);
    }
    return {};
}

}  // namespace

namespace orvessa::cli {

int run(Args args) {
    // The whole line is read once here, so that an option the tool does not
    // know is refused before or after the command alike; the command is the
    // first positional.
    const auto parsed = split_args(args);
    if (!parsed) return exit_usage;
    const bool has_command = !parsed->positional.empty();
    const std::string_view command = has_command ? parsed->positional.front() : ""sv;
    if (parsed->has("--help")) {
        if (!has_command) {
            std::cout << full_help();
            return exit_ok;
        }
        const std::string help = command_help(command);
        if (help.empty()) return usage_error("unknown command " + std::string(command));
        std::cout << help;
        return exit_ok;
    }
    if (parsed->has("--version")) {
        std::cout << version_text << '\n';
        return exit_ok;
    }
    if (!has_command) return usage_error("no command given");
    // What stands before the command is whole options (and perhaps "--"):
    // moved behind it, they read the same.
    const auto at = static_cast<std::ptrdiff_t>(parsed->positional_at.front());
    std::vector<std::string_view> line(args.begin(), args.begin() + at);
    line.insert(line.end(), args.begin() + at + 1, args.end());
    const Args rest(line);
    if (const auto* filter = filter_named(command)) return run_filter_command(filter->filter, rest);
    if (command == "gray") return run_gray_command(rest);
    if (command == "fit") return run_fit_command(rest);
    if (command == "scale-x" || command == "scale-y") return run_scale_command(command, rest);
    return usage_error("unknown command " + std::string(command));
}

}  // namespace orvessa::cli

#ifndef ORVESSA_CLI_NO_MAIN
int main(int argc, char** argv) {
    using namespace orvessa::cli;
    remove_unfinished_outputs_on_signals();
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    // The commands report their own failures; this is the last guard that
    // keeps any other one an exit status with a message, never an abort.
    try {
        return run(args);
    } catch (...) {
        return other_failure();
    }
}
#endif
