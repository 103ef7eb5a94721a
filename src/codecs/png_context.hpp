// The libpng glue the PNG reader and writer share: a context of their own
// per file, error and warning handlers that keep libpng's text there, and
// the one frame that catches libpng's longjmp.
#pragma once

#include <png.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <type_traits>
#include <vector>

#include "codecs/picture_codec.hpp"

namespace orvessa::codecs::png_glue {

// What one file's libpng calls share. Each reader and writer has its own, so
// that one file's message never reaches another file's error.
struct Context {
    ByteSource* source = nullptr;
    ByteSink* sink = nullptr;
    bool in_pixels = false;               // a reader past its head
    std::vector<std::uint8_t> pending;    // a writer's bytes not yet in the sink
    char message[200] = {};               // libpng's last error
    std::exception_ptr thrown;            // what the source or sink threw
};

inline Context& context_of(png_structp png) noexcept { return *static_cast<Context*>(png_get_error_ptr(png)); }

inline void on_error(png_structp png, png_const_charp text) {
    std::snprintf(context_of(png).message, sizeof context_of(png).message, "%s", text);
    png_longjmp(png, 1);
}

// Warnings, benign errors among them, are no reason to refuse a file.
inline void on_warning(png_structp, png_const_charp) {}

// libpng's words made to read like ours ("Not a PNG file": "not a PNG file").
inline std::string reason(const char* message) {
    if (std::strstr(message, "Not enough image data")) return "the pixel data ends early";
    std::string text = message;
    if (text.size() > 1 && std::isupper(static_cast<unsigned char>(text[0])) &&
        std::islower(static_cast<unsigned char>(text[1])))
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

// Every libpng call that may fail runs here: the setjmp sits in a frame that
// holds no C++ object, so the longjmp of a failure skips no destructor.
template <typename... Args>
bool guarded(png_structp png, void (*step)(png_structp, Args...), std::type_identity_t<Args>... args) {
    if (setjmp(png_jmpbuf(png))) return false;
    step(png, args...);
    return true;
}

}  // namespace orvessa::codecs::png_glue
