// Shared pieces of the orvessa command-line tool.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "orvessa/error.hpp"
#include "orvessa/filter_options.hpp"
#include "orvessa/pictures.hpp"

namespace orvessa::cli {

// Exit statuses.
constexpr int exit_ok = 0;
constexpr int exit_usage = 1;
constexpr int exit_file = 2;
constexpr int exit_method = 3;

using Args = std::span<const std::string_view>;

// "orvessa: <message>" on stderr, one whole line even from many threads.
void complain(std::string_view message);
// Each kind of failure says what went wrong and gives its exit status, here
// and nowhere else. A usage error also says where the help is (1).
int usage_error(std::string_view message);
// A file that cannot be read or written, or a picture that cannot be
// converted (2).
int file_failure(std::string_view message);
int file_error(const Error& e);
// An error the method raised: "<description> (error N)" (3).
int method_error(const Error& e);
// Inside a catch block, any other failure: out of memory, or the
// exception's message, about `what` where given (2).
int other_failure(std::string_view what = {});

std::optional<std::int32_t> parse_int32(std::string_view text);
std::optional<std::int64_t> parse_int64(std::string_view text);
// "WIDTHxHEIGHT", each a 32-bit integer (negative too).
std::optional<std::pair<std::int32_t, std::int32_t>> parse_size(std::string_view text);
// Option NAME's value TEXT, an integer of the rule's width, through one of
// the library's rules (orvessa/argument_rules.hpp); nullopt after the usage
// error.
template <typename Result, typename Value>
std::optional<Result> ruled_option(std::string_view name, std::string_view text,
                                   Result (*rule)(Value, std::string_view)) {
    constexpr bool wide = sizeof(Value) == sizeof(std::int64_t);
    std::optional<Value> value;
    if constexpr (wide) {
        value = parse_int64(text);
    } else {
        value = parse_int32(text);
    }
    if (!value) {
        usage_error(std::string(name) + (wide ? " wants a 64-bit integer" : " wants a 32-bit integer"));
        return std::nullopt;
    }
    try {
        return rule(*value, name);
    } catch (const std::invalid_argument& e) {
        usage_error(e.what());
        return std::nullopt;
    }
}

// Whole-file read; "-" is standard input. Only regular files are read,
// never waiting on a FIFO. On failure it says why and returns false.
bool read_all(std::string_view path, std::vector<std::uint8_t>& bytes);
// True, after saying so, when OUT names the file IN (through any link):
// the commands refuse it with exit 2 before reading or writing anything.
bool refuse_same_file(std::string_view in, std::string_view out);
// False, after saying why, when OUT cannot be written as asked.
bool output_allowed(std::string_view out, ExistingOutput existing);

// Every option of the tool, with its short form, and whether it takes a
// value: one table, so that options may stand anywhere on the line.
struct OptionRule {
    std::string_view name, short_name;
    bool valued;
};

// A command line read as getopt reads it, against that table: "--name=value"
// or "--name value"; short options grouped ("-fq"), the last of a group
// taking the rest of its argument or the next one as its value ("-j2",
// "-fqj 2"); "--" ends the options; "-" alone and a '-' followed by a digit
// (a negative number) are positionals. A value may start with '-'.
struct ParsedArgs {
    struct Option {
        std::string_view name;     // the long name, whatever the spelling
        std::string_view spelled;  // as written: "-j" or "--jobs"
        std::string_view value;
    };
    std::vector<Option> options;
    std::vector<std::string_view> positional;
    std::vector<std::size_t> positional_at;  // each positional's index in the line
    std::optional<std::string_view> option(std::string_view name) const;
    bool has(std::string_view name) const;
};
// The one reader of a command line (run() and every command go through it,
// so they cannot disagree); nullopt after the usage error it reports: an
// option the tool does not know, a value missing or given to a flag.
std::optional<ParsedArgs> split_args(Args args);
// split_args, then every option must be one the command names as accepted.
std::optional<ParsedArgs> parse_args(Args args, std::span<const std::string_view> accepted);

// The whole tool: the command line without the program name; the exit status.
int run(Args args);

int run_filter_command(PixelFilter filter, Args args);

int run_gray_command(Args args);
int run_fit_command(Args args);
int run_scale_command(std::string_view axis, Args args);

// Sets the logical resolution from --dpi X (or X,Y); false after a usage error.
bool apply_dpi_option(const ParsedArgs& parsed, bool pair_allowed);

// --force replaces an existing OUT, else it is refused, or left alone with
// --skip-existing; nullopt after the usage error of asking both.
std::optional<ExistingOutput> existing_output(const ParsedArgs& parsed);
// True, after saying so unless --quiet, when --skip-existing leaves an
// existing OUT alone: nothing to do, nothing failed.
bool left_alone(const ParsedArgs& parsed, std::string_view out);
// The settings of --format, --quality and --force; nullopt after a usage
// error.
std::optional<PictureSettings> picture_settings(const ParsedArgs& parsed);

// One picture in, one picture out: the work of a picture command, run once
// for IN OUT or for each picture of a batch. It raises Error.
using PictureJob = std::function<void(const std::string& in, const std::string& out, const PictureSettings&)>;
// The options every picture command takes besides its own: the output's
// format, replacing, batches.
extern const std::vector<std::string_view> picture_run_options;
// Runs a picture command's job: IN OUT, or a batch (-o DIR IN..., --from).
// settings.threads is the threads the command asks for (or the default).
int run_pictures(std::string_view command, const ParsedArgs& parsed, const PictureSettings& settings,
                 const PictureJob& job);

// Blocks SIGINT and SIGTERM in every thread and handles them on a thread of
// their own: unfinished outputs are removed and the process ends with 130
// or 143. Outputs already renamed stay. Called once, first thing.
void remove_unfinished_outputs_on_signals();

}  // namespace orvessa::cli
