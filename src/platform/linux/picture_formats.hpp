// The picture formats, one row each: how the bytes are recognised, the one
// reader that may read them, and for the formats written here their names,
// extension, quality and writer. Adding a format is a row and its codec.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "codecs/picture_codec.hpp"
#include "orvessa/picture_stream.hpp"

namespace orvessa::platform {

using codecs::Bytes;

struct FormatRow {
    std::string_view name;  // in messages: "JPEG"
    // True when the file's first bytes (up to sniff_bytes) are of the format.
    bool (*sniff)(Bytes head);
    // Reads the head; the rows follow as they are asked for. Null where the
    // format is known but not read: `refusal` says what to do instead.
    std::unique_ptr<codecs::PictureReader> (*open)(codecs::ByteSource& source, std::int64_t max_pixels);
    std::string_view refusal;
    // The formats written here: the names --format takes (the last one is
    // the extension given), whether a quality applies, and the writer.
    std::optional<PictureFormat> written;
    std::array<std::string_view, 2> names;
    bool quality;
    std::unique_ptr<codecs::PictureWriter> (*write)(codecs::ByteSink& sink, const codecs::PictureInfo& info,
                                                    int quality);
};

// The row whose sniff takes the head, if any.
const FormatRow* format_of_bytes(Bytes head) noexcept;
const FormatRow& format_row(PictureFormat format) noexcept;
// "JPEG, PNG, ...": the formats read here, for messages.
std::string formats_read();

}  // namespace orvessa::platform
