#include <algorithm>
#include <charconv>
#include <exception>
#include <new>
#include <utility>

#include "cli.hpp"
#include "progress.hpp"

namespace orvessa::cli {

void complain(std::string_view message) { write_message_line("orvessa: " + std::string(message)); }

int usage_error(std::string_view message) {
    complain(message);
    write_message_line("Try 'orvessa --help'.");
    return exit_usage;
}

int file_failure(std::string_view message) {
    complain(message);
    return exit_file;
}

int file_error(const Error& e) {
    return file_failure(e.number() == static_cast<std::int32_t>(ErrorNumber::file_exists)
                            ? e.path() + " exists; --force (-f) replaces it, --skip-existing (-n) leaves it"
                            : e.description());
}

int method_error(const Error& e) {
    complain(e.description() + " (error " + std::to_string(e.number()) + ")");
    return exit_method;
}

int other_failure(std::string_view what) {
    const std::string about = what.empty() ? "" : std::string(what) + ": ";
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return file_failure(about + "out of memory");
    } catch (const std::exception& e) {
        return file_failure(about + e.what());
    } catch (...) {
        return file_failure(about + "an unknown failure");
    }
}

std::optional<ExistingOutput> existing_output(const ParsedArgs& parsed) {
    if (parsed.has("--force") && parsed.has("--skip-existing")) {
        usage_error("-f (--force) and -n (--skip-existing) go against each other");
        return std::nullopt;
    }
    return parsed.has("--force") ? ExistingOutput::replace : ExistingOutput::refuse;
}

bool left_alone(const ParsedArgs& parsed, std::string_view out) {
    if (!parsed.has("--skip-existing") || !output_exists(std::string(out))) return false;
    if (!parsed.has("--quiet")) complain(std::string(out) + " exists; left alone (--skip-existing)");
    return true;
}

std::optional<std::int32_t> parse_int32(std::string_view text) {
    std::int32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc{} || ptr != end || text.empty()) return std::nullopt;
    return value;
}

std::optional<std::int64_t> parse_int64(std::string_view text) {
    std::int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc{} || ptr != end || text.empty()) return std::nullopt;
    return value;
}

std::optional<std::pair<std::int32_t, std::int32_t>> parse_size(std::string_view text) {
    const auto x = text.find('x');
    if (x == std::string_view::npos) return std::nullopt;
    const auto w = parse_int32(text.substr(0, x));
    const auto h = parse_int32(text.substr(x + 1));
    if (!w || !h) return std::nullopt;
    return std::pair{*w, *h};
}

bool read_all(std::string_view path, std::vector<std::uint8_t>& bytes) {
    try {
        bytes = read_file(std::string(path));
        return true;
    } catch (const Error& e) {
        file_error(e);
        return false;
    }
}

bool refuse_same_file(std::string_view in, std::string_view out) {
    if (!same_file(std::string(in), std::string(out))) return false;
    complain(std::string(out) + " is the input file itself; the input is never overwritten");
    return true;
}

bool output_allowed(std::string_view out, ExistingOutput existing) {
    try {
        check_output(std::string(out), existing);
        return true;
    } catch (const Error& e) {
        file_error(e);
        return false;
    }
}

std::optional<std::string_view> ParsedArgs::option(std::string_view name) const {
    for (auto it = options.rbegin(); it != options.rend(); ++it) {
        if (it->name == name) return it->value;
    }
    return std::nullopt;
}

bool ParsedArgs::has(std::string_view name) const { return option(name).has_value(); }

namespace {

constexpr OptionRule tool_options[] = {
    {"--raw", "", true},        {"--lower-bound", "", true}, {"--path", "", true},
    {"--threads", "", true},    {"--threshold", "", true},   {"--fit", "", true},
    {"--dpi", "", true},        {"--two-color", "", false},  {"--out-dir", "-o", true},
    {"--from", "", true},       {"--null", "-0", false},     {"--jobs", "-j", true},
    {"--force", "-f", false},   {"--quiet", "-q", false},    {"--progress", "", false},
    {"--help", "-h", false},    {"--version", "", false},    {"--max-pixels", "", true},
    {"--format", "", true},     {"--quality", "", true},     {"--relative", "", false},
    {"--base", "", true},       {"--recursive", "-r", false}, {"--skip-existing", "-n", false},
};

const OptionRule* long_option(std::string_view name) {
    for (const OptionRule& rule : tool_options) {
        if (rule.name == name) return &rule;
    }
    return nullptr;
}

const OptionRule* short_option(char letter) {
    for (const OptionRule& rule : tool_options) {
        if (rule.short_name.size() == 2 && rule.short_name[1] == letter) return &rule;
    }
    return nullptr;
}

// fit and scale take negative numbers. Where the digit is an option letter
// too (-0), the argument must read whole as a number ("-0.5"), so that
// "-0q" stays a group and "-0" itself --null.
bool negative_number(std::string_view arg) {
    if (arg.size() < 2 || arg[0] != '-' || arg[1] < '0' || arg[1] > '9') return false;
    if (short_option(arg[1]) == nullptr) return true;
    double value = 0;
    const char* end = arg.data() + arg.size();
    const auto [ptr, ec] = std::from_chars(arg.data(), end, value);
    return ec == std::errc{} && ptr == end && arg.size() > 2;
}

}  // namespace

std::optional<ParsedArgs> split_args(Args args) {
    ParsedArgs parsed;
    bool options_ended = false;
    const auto fail = [](const std::string& message) {
        usage_error(message);
        return std::nullopt;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (options_ended || arg.size() < 2 || arg[0] != '-' || negative_number(arg)) {
            parsed.positional.push_back(arg);
            parsed.positional_at.push_back(i);
            continue;
        }
        if (arg == "--") {
            options_ended = true;
            continue;
        }
        if (arg[1] == '-') {
            const auto eq = arg.find('=');
            const std::string_view name = arg.substr(0, eq);
            const OptionRule* rule = long_option(name);
            if (rule == nullptr) return fail("unknown option " + std::string(name));
            if (!rule->valued && eq != std::string_view::npos) return fail(std::string(name) + " takes no value");
            if (!rule->valued) {
                parsed.options.push_back({rule->name, rule->name, {}});
            } else if (eq != std::string_view::npos) {
                parsed.options.push_back({rule->name, rule->name, arg.substr(eq + 1)});
            } else if (i + 1 < args.size()) {
                // The value may itself start with '-' (negative sizes).
                parsed.options.push_back({rule->name, rule->name, args[++i]});
            } else {
                return fail(std::string(name) + " needs a value");
            }
            continue;
        }
        // A group of short options; a valued one ends it, taking the rest.
        for (std::size_t k = 1; k < arg.size(); ++k) {
            const OptionRule* rule = short_option(arg[k]);
            if (rule == nullptr) return fail("unknown option -" + std::string(1, arg[k]));
            if (!rule->valued) {
                parsed.options.push_back({rule->name, rule->short_name, {}});
                continue;
            }
            if (k + 1 < arg.size()) {
                parsed.options.push_back({rule->name, rule->short_name, arg.substr(k + 1)});
            } else if (i + 1 < args.size()) {
                parsed.options.push_back({rule->name, rule->short_name, args[++i]});
            } else {
                return fail(std::string(rule->short_name) + " needs a value");
            }
            break;
        }
    }
    return parsed;
}

std::optional<ParsedArgs> parse_args(Args args, std::span<const std::string_view> accepted) {
    auto parsed = split_args(args);
    if (!parsed) return std::nullopt;
    for (const auto& option : parsed->options) {
        if (std::find(accepted.begin(), accepted.end(), option.name) == accepted.end()) {
            usage_error("unknown option " + std::string(option.spelled));
            return std::nullopt;
        }
    }
    return parsed;
}

}  // namespace orvessa::cli
