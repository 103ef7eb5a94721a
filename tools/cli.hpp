// Shared pieces of the orvessa command-line tool.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "orvessa/filter_options.hpp"
#include "orvessa/picture_stream.hpp"
#include "platform/linux/unique_fd.hpp"

namespace orvessa {
struct Image;
}

namespace orvessa::cli {

// Exit statuses.
constexpr int exit_ok = 0;
constexpr int exit_usage = 1;
constexpr int exit_file = 2;
constexpr int exit_method = 3;

using Args = std::span<const std::string_view>;

// "orvessa: <message>" on stderr, one whole line even from many threads.
void complain(std::string_view message);
int usage_error(std::string_view message);
// A loader's reason without the path it starts with, so that a message
// names the path once.
std::string reason_for(std::string_view path, std::string_view description);

std::optional<std::int32_t> parse_int32(std::string_view text);
std::optional<std::int64_t> parse_int64(std::string_view text);
// "WIDTHxHEIGHT", each a 32-bit integer (negative too).
std::optional<std::pair<std::int32_t, std::int32_t>> parse_size(std::string_view text);

// What happens to an OUT that already exists as a regular file.
enum class Replace { refuse, allow };

// Whole-file read and write; "-" is standard input or output. On failure
// they say why on stderr and return false.
bool read_all(std::string_view path, std::vector<std::uint8_t>& bytes);
// Only regular files are read; neither call waits on a FIFO. A regular OUT
// is replaced whole or not at all (see output_file.hpp).
bool write_all(std::string_view path, std::span<const std::uint8_t> bytes, Replace replace);
// True, after saying so, when OUT names the file IN (through any link):
// the commands refuse it with exit 2 before reading or writing anything.
bool same_file(std::string_view in, std::string_view out);

// Every option of the tool, with its short form, and whether it takes a
// value: one table, so that options may stand anywhere on the line.
struct OptionRule {
    std::string_view name, short_name;
    bool valued;
};
const OptionRule* find_option(std::string_view arg);

// Splits "--name=value" / "--name value" options (short forms too) from
// positional arguments; "--" ends the options. Each command names the
// options it accepts.
struct ParsedArgs {
    std::vector<std::pair<std::string_view, std::string_view>> options;
    std::vector<std::string_view> positional;
    std::optional<std::string_view> option(std::string_view name) const;
    bool has(std::string_view name) const;
};
std::optional<ParsedArgs> parse_args(Args args, std::span<const std::string_view> accepted);

// The whole tool: the command line without the program name; the exit status.
int run(Args args);

int run_filter_command(std::string_view filter, Args args);

int run_gray_command(Args args);
int run_fit_command(Args args);
int run_scale_command(std::string_view axis, Args args);

// Sets the logical resolution from --dpi X (or X,Y); false after a usage error.
bool apply_dpi_option(const ParsedArgs& parsed, bool pair_allowed);

// A picture command's OUT: its format, from --format or OUT's extension
// (PNG for '-' or a name without one), --quality for JPEG and WebP, and
// whether an existing file is replaced.
struct PictureOutput {
    std::string_view path;
    PictureFormat format;
    int quality;
    Replace replace = Replace::refuse;
};
// Checks --format and --quality against OUT before any work; nullopt after a
// usage error that lists the formats. In a batch --quality is for the
// outputs that have one.
std::optional<PictureOutput> picture_output(const ParsedArgs& parsed, std::string_view path,
                                            bool batch = false);
// The name a batch gives IN's result: IN's own when the tool writes IN's
// format, otherwise PNG; --format overrides and the extension changes to
// match. Empty when IN names no file.
std::string batch_output_name(const ParsedArgs& parsed, std::string_view in);
// Encodes the picture onto OUT, the one place a picture's output is opened
// (see output_file.hpp); false after saying why, OUT as it was.
bool save_picture(const PictureOutput& out, const PictureStream& picture);
bool save_picture(const PictureOutput& out, const Image& image);

// One picture in, one picture out: the work of a picture command, run once
// for IN OUT or for each picture of a batch, with `threads` filter threads.
// It says why on failure and returns the picture's exit status.
using PictureJob = std::function<int(std::string_view in, const PictureOutput& out, std::int32_t threads)>;
// The options every picture command takes besides its own: the output's
// format, replacing, batches.
extern const std::vector<std::string_view> picture_run_options;
// Runs a picture command's job: IN OUT, or a batch (-o DIR IN..., --from).
// `threads` is the filter threads the command asks for (or the default).
int run_pictures(std::string_view command, const ParsedArgs& parsed, std::int32_t threads,
                 const PictureJob& job);

// blur or smooth over picture IN, streamed into OUT.
int run_picture_filter(std::string_view filter, std::string_view in, const PictureOutput& out,
                       const FilterOptions& options, std::int64_t max_pixels);

}  // namespace orvessa::cli
