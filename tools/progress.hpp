// Standard error's lines while a batch runs: messages from any thread as
// whole lines, and a live progress line kept below them on a terminal.
#pragma once

#include <chrono>
#include <cstddef>
#include <string_view>

namespace orvessa::cli {

// One line on stderr; a progress line shown is cleared first and redrawn.
void write_message_line(std::string_view line);
// Clears a progress line shown (for the end on a signal).
void abandon_progress_line();

// "orvessa: 12/60 pictures, 4.1 a second, 0:11 left", redrawn in place at
// most ten times a second, cleared when the batch ends.
class Progress {
public:
    Progress(std::size_t total, bool shown);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;
    void picture_done();

private:
    std::size_t total_, done_ = 0;
    bool shown_;
    std::chrono::steady_clock::time_point start_, drawn_;
};

}  // namespace orvessa::cli
