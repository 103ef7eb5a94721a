#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>

#include "cli.hpp"

namespace orvessa::cli {

void complain(std::string_view message) { std::cerr << "orvessa: " << message << '\n'; }

int usage_error(std::string_view message) {
    complain(message);
    std::cerr << "Try 'orvessa --help'.\n";
    return exit_usage;
}

std::optional<std::int32_t> parse_int32(std::string_view text) {
    std::int32_t value = 0;
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
    if (path == "-") {
        std::cin >> std::noskipws;
        bytes.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
        if (std::cin.bad()) {
            complain("cannot read standard input");
            return false;
        }
        return true;
    }
    std::ifstream in{std::string(path), std::ios::binary};
    if (!in) {
        complain("cannot read " + std::string(path) + ": " + std::strerror(errno));
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        complain("cannot read " + std::string(path));
        return false;
    }
    return true;
}

bool write_all(std::string_view path, std::span<const std::uint8_t> bytes) {
    if (path == "-") {
        std::cout.write(reinterpret_cast<const char*>(bytes.data()),
                        static_cast<std::streamsize>(bytes.size()));
        std::cout.flush();
        if (!std::cout) {
            complain("cannot write standard output");
            return false;
        }
        return true;
    }
    std::ofstream out{std::string(path), std::ios::binary | std::ios::trunc};
    if (out) {
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        out.close();
    }
    if (!out) {
        complain("cannot write " + std::string(path) + ": " + std::strerror(errno));
        return false;
    }
    return true;
}

std::optional<std::string_view> ParsedArgs::option(std::string_view name) const {
    for (auto it = options.rbegin(); it != options.rend(); ++it) {
        if (it->first == name) return it->second;
    }
    return std::nullopt;
}

bool ParsedArgs::has(std::string_view name) const { return option(name).has_value(); }

std::optional<ParsedArgs> parse_args(Args args, std::span<const std::string_view> valued,
                                     std::span<const std::string_view> flags) {
    ParsedArgs parsed;
    auto listed = [](std::span<const std::string_view> names, std::string_view name) {
        return std::find(names.begin(), names.end(), name) != names.end();
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (arg.size() < 3 || arg.substr(0, 2) != "--") {
            parsed.positional.push_back(arg);
            continue;
        }
        const auto eq = arg.find('=');
        const std::string_view name = arg.substr(0, eq);
        if (listed(flags, name) && eq == std::string_view::npos) {
            parsed.options.emplace_back(name, "");
        } else if (listed(valued, name)) {
            if (eq != std::string_view::npos) {
                parsed.options.emplace_back(name, arg.substr(eq + 1));
            } else if (i + 1 < args.size()) {
                // The value may itself start with '-' (negative sizes).
                parsed.options.emplace_back(name, args[++i]);
            } else {
                usage_error(std::string(name) + " needs a value");
                return std::nullopt;
            }
        } else {
            usage_error("unknown option " + std::string(arg));
            return std::nullopt;
        }
    }
    return parsed;
}

}  // namespace orvessa::cli
