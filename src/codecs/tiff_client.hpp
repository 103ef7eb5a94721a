// What the TIFF reader and writer share: the per-file context libtiff's
// message handlers write into, and the owner of an open TIFF handle.
#pragma once

#include <tiffio.h>

#include <cstdint>
#include <cstdio>

#include <exception>
#include <memory>
#include <string>

namespace orvessa::codecs::tiff {

// One file's messages and the failure of a callback of ours, kept here so
// that nothing is printed, no exception crosses libtiff's frames and one
// file's text never shows in another's error.
struct Context {
    std::string error;  // libtiff's first error since clear()
    std::string warning;  // its first warning since clear()
    std::exception_ptr failure;  // what a source or sink threw inside a callback

    void clear() noexcept;
    // The callback's exception, where there was one.
    void rethrow_failure();
    // The error, else the warning, else `fallback`.
    std::string reason(const char* fallback) const;
};

struct Closer {
    void operator()(TIFF* tif) const noexcept { TIFFClose(tif); }
};
using Handle = std::unique_ptr<TIFF, Closer>;

// The callbacks of one open; `client` is what they are handed.
struct Client {
    thandle_t client;
    TIFFReadWriteProc read, write;
    TIFFSeekProc seek;
    TIFFSizeProc size;
};

// TIFFClientOpenExt with handlers that keep every message in `context`
// (which must outlive the handle); null where libtiff refused.
Handle open_client(const char* mode, const Client& client, Context& context);

// Where a seek from `at` lands in a file of `length` bytes; a backward
// offset arrives as its two's complement.
inline std::uint64_t seek_position(std::uint64_t at, std::uint64_t length, toff_t offset, int whence) noexcept {
    return (whence == SEEK_CUR ? at : whence == SEEK_END ? length : 0) + offset;
}

}  // namespace orvessa::codecs::tiff
