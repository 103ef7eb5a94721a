// SIGINT and SIGTERM end the tool without leaving a half-written output.
#include <signal.h>
#include <unistd.h>

#include <thread>

#include "cli.hpp"
#include "progress.hpp"

namespace orvessa::cli {

void remove_unfinished_outputs_on_signals() {
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    ::pthread_sigmask(SIG_BLOCK, &stop, nullptr);
    // A file-size limit then fails the write (EFBIG), which cleans up,
    // rather than killing the process with its temporary file left.
    ::signal(SIGXFSZ, SIG_IGN);
    std::thread([stop] {
        int signal = 0;
        while (::sigwait(&stop, &signal) != 0) {
        }
        remove_unfinished_outputs();
        abandon_progress_line();
        ::_exit(128 + signal);
    }).detach();
}

}  // namespace orvessa::cli
