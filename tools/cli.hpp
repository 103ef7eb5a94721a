// Shared pieces of the orvessa command-line tool.
#pragma once

#include <cstdint>
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
using Command = int (*)(Args args);

// "orvessa: <message>" on stderr.
void complain(std::string_view message);
int usage_error(std::string_view message);

std::optional<std::int32_t> parse_int32(std::string_view text);
std::optional<std::int64_t> parse_int64(std::string_view text);
// "WIDTHxHEIGHT", each a 32-bit integer (negative too).
std::optional<std::pair<std::int32_t, std::int32_t>> parse_size(std::string_view text);

// Whole-file read and write; "-" is standard input or output. On failure
// they say why on stderr and return false.
bool read_all(std::string_view path, std::vector<std::uint8_t>& bytes);
// Only regular files are read; neither call waits on a FIFO.
bool write_all(std::string_view path, std::span<const std::uint8_t> bytes);
// A file opened for writing as write_all does (a FIFO nobody reads is
// refused, not waited on); an invalid descriptor after saying why.
platform::UniqueFd open_output(std::string_view path);
// True, after saying so, when OUT names the file IN (through any link):
// the commands refuse it with exit 2 before reading or writing anything.
bool same_file(std::string_view in, std::string_view out);

// Splits "--name=value" / "--name value" options from positional arguments.
// Options listed in `flags` take no value.
struct ParsedArgs {
    std::vector<std::pair<std::string_view, std::string_view>> options;
    std::vector<std::string_view> positional;
    std::optional<std::string_view> option(std::string_view name) const;
    bool has(std::string_view name) const;
};
std::optional<ParsedArgs> parse_args(Args args, std::span<const std::string_view> valued,
                                     std::span<const std::string_view> flags);

// The whole tool: the command line without the program name; the exit status.
int run(Args args);

int run_filter_command(std::string_view filter, Args args);

// The picture commands.
int run_picture_filter(std::string_view filter, const ParsedArgs& parsed,
                       const FilterOptions& options);
int run_gray_command(Args args);
int run_fit_command(Args args);
int run_scale_command(std::string_view axis, Args args);
// Sets the logical resolution from --dpi X (or X,Y); false after a usage error.
bool apply_dpi_option(const ParsedArgs& parsed, bool pair_allowed);

// A picture command's OUT: its format, from --format or OUT's extension
// (PNG for '-' or a name without one), and --quality for JPEG and WebP.
struct PictureOutput {
    std::string_view path;
    PictureFormat format;
    int quality;
};
// Checks --format and --quality against OUT before any work; nullopt after a
// usage error that lists the formats.
std::optional<PictureOutput> picture_output(const ParsedArgs& parsed);
// OUT opened for the encoder (standard output for '-'); the one place a
// picture's output file is opened. An invalid descriptor after saying why.
platform::UniqueFd open_picture_output(std::string_view path);
// After a failure: no partial picture is left at OUT.
void discard_picture_output(std::string_view path);
// Encodes the picture onto OUT; false after saying why (nothing left at OUT).
bool save_picture(const PictureOutput& out, const PictureStream& picture);
bool save_picture(const PictureOutput& out, const Image& image);

}  // namespace orvessa::cli
