// An output that never leaves a broken file behind. A regular OUT (new or
// replaced) is written to a temporary file in OUT's folder, flushed to the
// disk and renamed over OUT only when whole: on any failure, or SIGINT and
// SIGTERM, the previous OUT stays as it was and the temporary file goes.
// Standard output ("-", /dev/stdout), FIFOs, devices and the files of
// /dev, /proc and /sys are written directly.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "cli.hpp"
#include "platform/linux/unique_fd.hpp"

namespace orvessa::cli {

// False, after saying why, when OUT cannot be written as asked: an existing
// regular file without Replace::allow (the message names --force), a folder.
// The commands ask before any work; OutputFile asks again, atomically.
bool output_allowed(std::string_view path, Replace replace);
// True when OUT exists as a regular file (or a link to one).
bool output_exists(std::string_view path);

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();  // an unfinished temporary file is removed
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Each says why on stderr and returns false on failure.
    bool open(std::string_view path, Replace replace);
    bool write(std::span<const std::uint8_t> bytes);
    // Flushes, keeps a replaced OUT's permissions and renames over OUT.
    bool commit();
    // For writers that stream to a descriptor themselves.
    int fd() const noexcept { return fd_.get() >= 0 ? fd_.get() : standard_output_ ? 1 : -1; }

private:
    bool fail(int err);

    std::string path_;    // OUT as the user named it, for messages
    std::string target_;  // the file the rename replaces: OUT, or the file a link names
    std::string temp_;    // the temporary file; empty when written directly
    platform::UniqueFd fd_{-1};
    bool standard_output_ = false;
    Replace replace_ = Replace::refuse;
    bool replacing_ = false;
    struct Kept {  // a replaced OUT's mode and owner
        mode_t mode;
        uid_t uid;
        gid_t gid;
    } kept_{};
};

// Blocks SIGINT and SIGTERM in every thread and handles them on a thread of
// their own: unfinished temporary files are removed and the process ends
// with 130 or 143. Outputs already renamed stay. Called once, first thing.
void remove_unfinished_outputs_on_signals();

}  // namespace orvessa::cli
