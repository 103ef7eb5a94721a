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
#include "platform/linux/unique_fd.hpp"

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

bool clear_nonblocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
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
    UniqueFd out = open_output(path);
    if (out.get() < 0) return false;
    const std::uint8_t* next = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t put = ::write(out.get(), next, left);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            complain(cannot("write", path, put < 0 ? errno : EIO));
            return false;
        }
        next += put;
        left -= static_cast<std::size_t>(put);
    }
    if (!out.close()) {
        complain(cannot("write", path, errno));
        return false;
    }
    return true;
}

UniqueFd open_output(std::string_view path) {
    // Without blocking: a FIFO that nobody reads is refused (ENXIO) rather
    // than waited on. A regular file is truncated only once it is open.
    UniqueFd out(::open(std::string(path).c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666));
    struct stat info {};
    if (out.get() < 0 || ::fstat(out.get(), &info) != 0 || !clear_nonblocking(out.get()) ||
        (S_ISREG(info.st_mode) && ::ftruncate(out.get(), 0) != 0)) {
        complain(errno == ENXIO ? "cannot write " + std::string(path) + ": no process reads the FIFO"
                                : cannot("write", path, errno));
        return UniqueFd(-1);
    }
    return out;
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
