#include "codecs/tiff_client.hpp"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>

namespace orvessa::codecs::tiff {
namespace {

// libtiff's own allocations (directory arrays, raw strip buffers) beyond
// this are refused: a hostile tag must not reserve gigabytes. Pixel buffers
// are the reader's and follow the picture's checked size.
constexpr tmsize_t max_single_alloc = tmsize_t{1} << 30;

// The name libtiff is given for the file; some messages begin with it.
constexpr char file_name[] = "TIFF";

// The text alone: the module is a libtiff function's name, no help to a
// reader of the message.
void keep_first(std::string& into, const char* format, va_list args) noexcept {
    if (!into.empty()) return;
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    const std::size_t name = sizeof file_name - 1;
    const bool named = std::strncmp(text, file_name, name) == 0 && std::strncmp(text + name, ": ", 2) == 0;
    try {
        into.assign(named ? text + name + 2 : text);
    } catch (...) {
        // Out of memory for a message: the caller still sees the failure.
    }
}

// Returning 1 keeps libtiff from passing the text on to its global handlers.
int on_error(TIFF*, void* context, const char*, const char* format, va_list args) {
    keep_first(static_cast<Context*>(context)->error, format, args);
    return 1;
}

int on_warning(TIFF*, void* context, const char*, const char* format, va_list args) {
    keep_first(static_cast<Context*>(context)->warning, format, args);
    return 1;
}

int no_close(thandle_t) { return 0; }
int no_map(thandle_t, void**, toff_t*) { return 0; }
void no_unmap(thandle_t, void*, toff_t) {}

struct OptionsFree {
    void operator()(TIFFOpenOptions* options) const noexcept { TIFFOpenOptionsFree(options); }
};

}  // namespace

void Context::clear() noexcept {
    error.clear();
    warning.clear();
    failure = nullptr;
}

void Context::rethrow_failure() {
    if (failure) std::rethrow_exception(std::exchange(failure, nullptr));
}

std::string Context::reason(const char* fallback) const {
    return !error.empty() ? error : !warning.empty() ? warning : fallback;
}

Handle open_client(const char* mode, const Client& client, Context& context) {
    const std::unique_ptr<TIFFOpenOptions, OptionsFree> options(TIFFOpenOptionsAlloc());
    if (!options) throw std::bad_alloc();
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), max_single_alloc);
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), on_error, &context);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), on_warning, &context);
    return Handle(TIFFClientOpenExt(file_name, mode, client.client, client.read, client.write, client.seek, no_close,
                                    client.size, no_map, no_unmap, options.get()));
}

}  // namespace orvessa::codecs::tiff
