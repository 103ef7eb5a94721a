#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <iterator>
#include <utility>

#include "cli.hpp"
#include "output_file.hpp"
#include "platform/linux/unique_fd.hpp"
#include "progress.hpp"

namespace orvessa::cli {

void complain(std::string_view message) { write_message_line("orvessa: " + std::string(message)); }

int usage_error(std::string_view message) {
    complain(message);
    write_message_line("Try 'orvessa --help'.");
    return exit_usage;
}

std::string reason_for(std::string_view path, std::string_view description) {
    const std::string prefix = std::string(path) + ": ";
    if (description.substr(0, prefix.size()) == prefix) description.remove_prefix(prefix.size());
    return std::string(description);
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

namespace {

using platform::UniqueFd;

std::string cannot(std::string_view what, std::string_view path, int err) {
    return "cannot " + std::string(what) + " " + std::string(path) + ": " + std::strerror(err);
}

}  // namespace

bool read_all(std::string_view path, std::vector<std::uint8_t>& bytes) {
    if (path == "-") {
        std::cin >> std::noskipws;
        bytes.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        if (std::cin.bad()) {
            complain("cannot read standard input");
            return false;
        }
        return true;
    }
    // Opened without blocking, so that a FIFO with no writer cannot hold the
    // tool; only regular files are read ('-' serves for pipes).
    const UniqueFd in(::open(std::string(path).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (in.get() < 0 || ::fstat(in.get(), &info) != 0) {
        complain(cannot("read", path, errno));
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        complain(cannot("read", path, EISDIR));
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        complain("cannot read " + std::string(path) + ": not a regular file (use - for a pipe)");
        return false;
    }
    bytes.clear();
    std::uint8_t chunk[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(in.get(), chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            complain(cannot("read", path, errno));
            return false;
        }
        if (got == 0) return true;
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
}

bool write_all(std::string_view path, std::span<const std::uint8_t> bytes, Replace replace) {
    OutputFile out;
    return out.open(path, replace) && out.write(bytes) && out.commit();
}

bool same_file(std::string_view in, std::string_view out) {
    if (in == "-" || out == "-") return false;
    struct stat a {}, b {};
    if (::stat(std::string(in).c_str(), &a) != 0 || ::stat(std::string(out).c_str(), &b) != 0) {
        return false;
    }
    if (a.st_dev != b.st_dev || a.st_ino != b.st_ino) return false;
    complain(std::string(out) + " is the input file itself; the input is never overwritten");
    return true;
}

std::optional<std::string_view> ParsedArgs::option(std::string_view name) const {
    for (auto it = options.rbegin(); it != options.rend(); ++it) {
        if (it->first == name) return it->second;
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
    {"--format", "", true},     {"--quality", "", true},
};

}  // namespace

const OptionRule* find_option(std::string_view arg) {
    const std::string_view name = arg.substr(0, arg.find('='));
    for (const OptionRule& rule : tool_options) {
        if ((!rule.short_name.empty() && arg == rule.short_name) || (arg.substr(0, 2) == "--" && name == rule.name)) return &rule;
    }
    return nullptr;
}

std::optional<ParsedArgs> parse_args(Args args, std::span<const std::string_view> accepted) {
    ParsedArgs parsed;
    bool options_ended = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (options_ended || arg == "-" || arg.size() < 2 || arg[0] != '-') {
            parsed.positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            options_ended = true;
            continue;
        }
        const OptionRule* rule = find_option(arg);
        const bool known = rule != nullptr && std::find(accepted.begin(), accepted.end(), rule->name) != accepted.end();
        if (!known && arg.substr(0, 2) != "--") {  // "-5": a negative number
            parsed.positional.push_back(arg);
            continue;
        }
        if (!known) {
            usage_error("unknown option " + std::string(arg.substr(0, arg.find('='))));
            return std::nullopt;
        }
        const auto eq = arg.substr(0, 2) == "--" ? arg.find('=') : std::string_view::npos;
        if (!rule->valued && eq != std::string_view::npos) {
            usage_error(std::string(rule->name) + " takes no value");
            return std::nullopt;
        }
        if (!rule->valued) {
            parsed.options.emplace_back(rule->name, "");
        } else if (eq != std::string_view::npos) {
            parsed.options.emplace_back(rule->name, arg.substr(eq + 1));
        } else if (i + 1 < args.size()) {
            // The value may itself start with '-' (negative sizes).
            parsed.options.emplace_back(rule->name, args[++i]);
        } else {
            usage_error(std::string(rule->name) + " needs a value");
            return std::nullopt;
        }
    }
    return parsed;
}

}  // namespace orvessa::cli
