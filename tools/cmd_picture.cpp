// Pieces shared by the picture commands: file names, resolutions, the
// output's format and its writing.
#include <stdexcept>

#include "cli.hpp"
#include "orvessa/error.hpp"
#include "orvessa/portable_platform.hpp"
#include "orvessa/picture_stream.hpp"
#include "output_file.hpp"

namespace orvessa::cli {

bool apply_dpi_option(const ParsedArgs& parsed, bool pair_allowed) {
    const auto text = parsed.option("--dpi");
    if (!text) return true;
    const auto comma = text->find(',');
    const auto x = parse_int32(text->substr(0, comma));
    const auto y = comma == std::string_view::npos ? x : parse_int32(text->substr(comma + 1));
    if (!x || !y || *x <= 0 || *y <= 0 || (!pair_allowed && comma != std::string_view::npos)) {
        usage_error(pair_allowed ? "--dpi wants X or X,Y, positive integers"
                                 : "--dpi wants a positive integer");
        return false;
    }
    set_logical_resolution(*x, *y);
    return true;
}

std::optional<PictureOutput> picture_output(const ParsedArgs& parsed, std::string_view path, bool batch) {
    const std::string formats(written_picture_formats);
    std::optional<PictureFormat> named;
    if (const auto text = parsed.option("--format")) {
        named = picture_format_named(*text);
        if (!named) {
            usage_error("--format " + std::string(*text) + " is not one the tool writes: " + formats);
            return std::nullopt;
        }
    }
    const auto extension = path == "-" ? std::nullopt : file_extension(path);
    std::optional<PictureFormat> format = named;
    if (extension) {
        const auto by_name = picture_format_named(*extension);
        if (by_name && named && *by_name != *named) {
            usage_error("OUT's extension ." + std::string(*extension) + " and --format disagree");
            return std::nullopt;
        }
        // An extension of another format would give a file whose name lies.
        if (!by_name && !named) {
            usage_error("cannot write ." + std::string(*extension) + " pictures; OUT may end in " +
                        formats + ", or --format names the format");
            return std::nullopt;
        }
        if (by_name) format = by_name;
    }
    PictureOutput out{path, format.value_or(PictureFormat::png), default_picture_quality};
    if (const auto text = parsed.option("--quality")) {
        const auto quality = parse_int32(*text);
        if (!quality || *quality < 1 || *quality > 100) {
            usage_error("--quality wants 1 to 100");
            return std::nullopt;
        }
        if (!batch && !has_quality(out.format)) {
            usage_error("--quality goes with JPEG and WebP output");
            return std::nullopt;
        }
        out.quality = *quality;
    }
    return out;
}

std::string batch_output_name(const ParsedArgs& parsed, std::string_view in) {
    const auto slash = in.rfind('/');
    const std::string name(slash == std::string_view::npos ? in : in.substr(slash + 1));
    if (name.empty() || name == "." || name == "..") return {};
    const auto extension = file_extension(name);
    std::optional<PictureFormat> own;
    if (extension) own = picture_format_named(*extension);
    const auto text = parsed.option("--format");
    const PictureFormat format = text ? picture_format_named(*text).value_or(PictureFormat::png)
                                      : own.value_or(PictureFormat::png);
    if (own.has_value() && *own == format) return name;
    const std::string stem = extension ? name.substr(0, name.size() - extension->size() - 1) : name;
    return stem + "." + std::string(picture_format_extension(format));
}

bool save_picture(const PictureOutput& out, const PictureStream& picture) {
    OutputFile file;
    if (!file.open(out.path, out.replace)) return false;
    try {
        picture.write(file.fd(), out.format, out.quality);
    } catch (const Error& e) {
        complain(std::string(out.path) + ": not written: " + reason_for(out.path, e.description()));
        return false;  // the temporary file goes with `file`
    }
    return file.commit();
}

bool save_picture(const PictureOutput& out, const Image& image) {
    try {
        return save_picture(out, PictureStream::of_image(image));
    } catch (const Error& e) {
        complain("cannot write " + std::string(out.path) + ": " + reason_for(out.path, e.description()));
        return false;
    }
}

}  // namespace orvessa::cli
