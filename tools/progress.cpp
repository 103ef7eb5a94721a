#include "progress.hpp"

#include <cstdio>
#include <iostream>
#include <mutex>
#include <string>

namespace orvessa::cli {

namespace {

constexpr std::string_view clear_line = "\r\033[K";

struct Line {
    std::mutex mutex;
    std::string text;  // the progress line shown, or empty
};
Line& line() {
    static auto* const shared = new Line;  // the signal thread may use it at exit
    return *shared;
}

std::string progress_text(std::size_t done, std::size_t total, double seconds) {
    std::string text = "orvessa: " + std::to_string(done) + "/" + std::to_string(total) + " pictures";
    if (done == 0 || seconds <= 0) return text;
    const double rate = static_cast<double>(done) / seconds;
    const auto left = static_cast<long>(static_cast<double>(total - done) / rate + 0.5);
    char tail[64];
    std::snprintf(tail, sizeof tail, ", %.1f a second, %ld:%02ld left", rate, left / 60, left % 60);
    return text + tail;
}

}  // namespace

void write_message_line(std::string_view message) {
    Line& l = line();
    const std::lock_guard lock(l.mutex);
    if (!l.text.empty()) std::cerr << clear_line;
    std::cerr << message << '\n';
    if (!l.text.empty()) std::cerr << l.text;
    std::cerr.flush();
}

void abandon_progress_line() {
    Line& l = line();
    const std::lock_guard lock(l.mutex);
    if (!l.text.empty()) std::cerr << clear_line << std::flush;
    l.text.clear();
}

Progress::Progress(std::size_t total, bool shown)
    : total_(total), shown_(shown), start_(std::chrono::steady_clock::now()), drawn_(start_) {
    if (!shown_) return;
    Line& l = line();
    const std::lock_guard lock(l.mutex);
    l.text = progress_text(0, total_, 0);
    std::cerr << clear_line << l.text << std::flush;
}

Progress::~Progress() {
    if (shown_) abandon_progress_line();
}

void Progress::picture_done() {
    Line& l = line();
    const std::lock_guard lock(l.mutex);
    ++done_;
    const auto now = std::chrono::steady_clock::now();
    if (!shown_ || (now - drawn_ < std::chrono::milliseconds(100) && done_ < total_)) return;
    drawn_ = now;
    l.text = progress_text(done_, total_, std::chrono::duration<double>(now - start_).count());
    std::cerr << clear_line << l.text << std::flush;
}

}  // namespace orvessa::cli
