// Picture files through gdk-pixbuf: loading with the failure codes that the
// picture loader reports, and the pixels of a loaded picture as B, G, R.
#pragma once

#include <gdk-pixbuf/gdk-pixbuf.h>

#include <cstdint>
#include <memory>
#include <string>

namespace orvessa::platform {

using PixbufPtr = std::shared_ptr<GdkPixbuf>;

// Reads only regular files, and never blocks on opening one. Raises
// Error::platform: file not found (53), path/file access error (75: a
// directory, a FIFO or device, an unreadable file), out of memory (7: a
// declared size beyond max_picture_pixels, refused before any pixel is
// decoded), invalid picture (481: empty, corrupt or of no known format),
// each with the reason.
PixbufPtr load_pixbuf(const std::string& path);

// Pixels x = 0 .. count - 1 of row y (from the top) as B, G, R bytes,
// transparent parts laid over white.
void read_pixbuf_row(const GdkPixbuf& pixbuf, int y, int count, std::uint8_t* bgr) noexcept;

}  // namespace orvessa::platform
