// The picture jobs that the orvessa tool and the Python package both run:
// reading a picture, filtering a picture file into a file as it streams,
// the gray / two-colour picture, writing a picture. Each takes one
// PictureSettings and raises Error, whose message names the file that
// failed once: the input when reading fails ("cannot read IN: ..."), the
// output when writing fails ("cannot write OUT: ..."), with the system's
// reason where there is one. The numbers: file not found 53, the file
// exists 58, path/file access error 75, invalid picture 481 (not a picture
// of a format read here, cut short or corrupt), out of memory 7 (beyond the
// pixel limit). Settings that make no sense raise std::invalid_argument.
//
// Outputs are never left half written: a file is written to a temporary
// file beside it and renamed over the target when whole; after a failure
// the previous file is whole and no temporary file remains.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "orvessa/filter_pixels.hpp"
#include "orvessa/linux_platform.hpp"
#include "orvessa/picture_stream.hpp"

namespace orvessa {

struct PictureSettings {
    // The output's format; without it, OUT's extension says (PNG for none).
    std::optional<PictureFormat> format;
    // 1 to 100, for the formats that have one (default_picture_quality).
    std::optional<int> quality;
    // A picture that declares more pixels is refused before any is decoded.
    std::int64_t max_pixels = default_stream_pixels;
    // Threads that decode, filter and encode a stream; 0: every core this
    // process may use (checked_threads).
    std::int32_t threads = 0;
    ExistingOutput existing = ExistingOutput::refuse;
};

struct GraySettings {
    bool two_color = false;
    std::uint8_t threshold = 128;
    // The white box the picture is fitted and centred into; else its natural size.
    std::optional<std::pair<std::int32_t, std::int32_t>> fit;
};

// The format and quality OUT is written with ("-": PNG unless told).
// Raises std::invalid_argument: an extension of no format written here, one
// that disagrees with settings.format, a quality out of range or for a
// format without one.
std::pair<PictureFormat, int> output_format(const std::string& out, const PictureSettings& settings);

// IN ("-": standard input) as a stream.
PictureStream read_picture(const std::string& in, const PictureSettings& settings);
// The picture into OUT ("-": standard output), whole or not at all.
void write_picture(const std::string& out, const PictureStream& picture, const PictureSettings& settings);
// The filter over picture IN into OUT, a strip of rows at a time.
void filter_picture(PixelFilter filter, const std::string& in, const std::string& out,
                    const PictureSettings& settings);
// The picture that ColorToBN paints of IN ("-": standard input), at its
// natural size (ScaleX and ScaleY of its HIMETRIC size) or fitted into a box.
Image gray_picture(const std::string& in, const GraySettings& gray);
// That picture into OUT, which is checked before IN is read.
void gray_picture_file(const std::string& in, const std::string& out, const GraySettings& gray,
                       const PictureSettings& settings);

// The file a batch writes IN's result to: OUT_DIR/<IN's name>, in IN's
// format where it is one written here, else PNG, or in `format`, the
// extension changed to match. Raises std::invalid_argument when IN names no
// file ("", ".", "..", a trailing '/').
std::string batch_output_path(const std::string& out_dir, const std::string& in,
                              std::optional<PictureFormat> format = std::nullopt);

// A whole file ("-": standard input): only a regular file, never waiting
// on a FIFO or a device. For other readers (raw buffers).
std::vector<std::uint8_t> read_file(const std::string& path);
// True when the file's first bytes are those of a format read here (a
// regular file that can be read; nothing is decoded).
bool is_picture_file(const std::string& path);

// The output rules on their own, for other writers (raw buffers).
bool output_exists(const std::string& path);
// Raises as writing would: OUT exists and may not be replaced, is a folder...
void check_output(const std::string& path, ExistingOutput existing);
void write_file(const std::string& path, std::span<const std::uint8_t> bytes, ExistingOutput existing);
// True when OUT names the file IN (the same device and inode, through links).
bool same_file(const std::string& in, const std::string& out);
// Removes the temporary files of unfinished outputs and lets none be
// renamed any more: for a process that is about to end (on a signal).
void remove_unfinished_outputs();

}  // namespace orvessa
