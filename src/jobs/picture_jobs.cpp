// Reading, filtering and writing picture files: the jobs over picture
// streams, and the output rules for other writers, over the platform's
// files (platform/linux/output_file.hpp).
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "orvessa/argument_rules.hpp"
#include "orvessa/error.hpp"
#include "orvessa/pictures.hpp"
#include "jobs/picture_output.hpp"
#include "platform/linux/output_file.hpp"
#include "platform/linux/input_file.hpp"

namespace orvessa {

std::pair<PictureFormat, int> output_format(const std::string& out, const PictureSettings& settings) {
    std::optional<PictureFormat> format = settings.format;
    const auto extension = out == "-" ? std::nullopt : file_extension(out);
    if (extension) {
        std::string dotted(1, '.');
        dotted += *extension;
        const auto by_name = picture_format_named(*extension);
        if (by_name && format && *by_name != *format) {
            throw std::invalid_argument(out + ": the extension " + dotted + " names another format than the one asked for");
        }
        // An extension of another format would give a file whose name lies.
        if (!by_name && !format) {
            throw std::invalid_argument("cannot write " + dotted + " pictures; " + out + " may end in " +
                                        written_picture_formats() + ", or the format be named");
        }
        if (by_name) format = by_name;
    }
    const PictureFormat chosen = format.value_or(PictureFormat::png);
    if (!settings.quality) return {chosen, default_picture_quality};
    checked_quality(*settings.quality);
    if (!has_quality(chosen)) throw std::invalid_argument("a quality goes with JPEG and WebP output");
    return {chosen, *settings.quality};
}

PictureStream read_picture(const std::string& in, const PictureSettings& settings) {
    checked_pixel_limit(settings.max_pixels);
    set_picture_threads(checked_threads(settings.threads));
    return in == "-" ? PictureStream::open_descriptor(STDIN_FILENO, "standard input", settings.max_pixels)
                     : PictureStream::open_file(in, settings.max_pixels);
}

void write_picture(const std::string& out, const PictureStream& picture, const PictureSettings& settings) {
    jobs::PictureOutput(out, settings).write(picture);
}

void filter_picture(PixelFilter filter, const std::string& in, const std::string& out,
                    const PictureSettings& settings) {
    // What OUT cannot be is known before IN is read.
    jobs::PictureOutput output(out, settings);
    output.write(read_picture(in, settings).filtered(filter));
}

bool output_exists(const std::string& path) { return platform::output_is_regular_file(path); }

void check_output(const std::string& path, ExistingOutput existing) {
    platform::check_output_target(path, existing);
}

void write_file(const std::string& path, std::span<const std::uint8_t> bytes, ExistingOutput existing) {
    platform::OutputFile out(path, existing);
    out.write(bytes);
    out.commit();
}

void remove_unfinished_outputs() { platform::remove_unfinished_temporaries(); }

std::vector<std::uint8_t> read_file(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    const bool standard_input = path == "-";
    const std::string name = standard_input ? "standard input" : path;
    const platform::UniqueFd file = standard_input ? platform::UniqueFd(-1) : platform::open_picture_file(path);
    const int fd = standard_input ? STDIN_FILENO : file.get();
    std::uint8_t chunk[64 * 1024];
    for (;;) {
        const ssize_t got = platform::read_some(fd, chunk, sizeof chunk);
        if (got < 0) throw Error::reading(ErrorNumber::file_access, name, std::strerror(errno), errno);
        if (got == 0) return bytes;
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
}

bool is_picture_file(const std::string& path) {
    try {
        return platform::holds_picture_format(platform::open_picture_file(path).get());
    } catch (const Error&) {
        return false;
    }
}

bool same_file(const std::string& in, const std::string& out) {
    if (in == "-" || out == "-") return false;
    struct stat a {}, b {};
    if (::stat(in.c_str(), &a) != 0 || ::stat(out.c_str(), &b) != 0) return false;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace orvessa
