// An output that never leaves a broken file behind. A regular OUT (new or
// replaced) is written to a temporary file in OUT's folder, flushed to the
// disk and renamed over OUT only when whole: on any failure the previous OUT
// stays as it was and the temporary file goes. Standard output ("-",
// /dev/stdout), FIFOs, devices and the files of /dev, /proc and /sys are
// written directly.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <span>
#include <string>

#include "orvessa/error.hpp"
#include "orvessa/picture_stream.hpp"
#include "platform/linux/unique_fd.hpp"

namespace orvessa::platform {

// Raises as opening OUT would: OUT exists (58) and may not be replaced, is
// a folder, or its folder cannot be reached (53, 75, with the system's reason).
void check_output_target(const std::string& path, ExistingOutput existing);
// Whether OUT is a regular file that an output would replace.
bool output_is_regular_file(const std::string& path);
// Removes the temporary files of unfinished outputs and lets none be
// renamed any more.
void remove_unfinished_temporaries();

class OutputFile {
public:
    // Raises as check_output_target does, or when the temporary file cannot
    // be made (75, with the system's reason).
    OutputFile(std::string path, ExistingOutput existing);
    ~OutputFile();  // an unfinished temporary file is removed
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    int fd() const noexcept { return fd_.get() >= 0 ? fd_.get() : standard_output_ ? 1 : -1; }
    const std::string& path() const noexcept { return path_; }
    // OUT as messages call it.
    std::string name() const { return path_ == "-" ? "standard output" : path_; }
    void write(std::span<const std::uint8_t> bytes);
    // Flushes, keeps a replaced OUT's permissions and renames over OUT.
    void commit();
    // The error of a failed write to this output.
    Error failure(int err) const;

private:
    std::string path_;    // OUT as the user named it, for messages
    std::string target_;  // the file the rename replaces: OUT, or the file a link names
    std::string temp_;    // the temporary file; empty when written directly
    UniqueFd fd_{-1};
    bool standard_output_ = false;
    ExistingOutput existing_;
    bool replacing_ = false;
    struct Kept {  // a replaced OUT's mode and owner
        mode_t mode;
        uid_t uid;
        gid_t gid;
    } kept_{};
};

}  // namespace orvessa::platform
