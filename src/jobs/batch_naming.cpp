// The name a batch gives each picture's result, for the tool's batches and
// for callers that spread a batch over processes or machines.
#include <filesystem>
#include <stdexcept>

#include "orvessa/pictures.hpp"

namespace orvessa {

std::string batch_output_path(const std::string& out_dir, const std::string& in,
                              std::optional<PictureFormat> format) {
    const auto slash = in.rfind('/');
    const std::string name = slash == std::string::npos ? in : in.substr(slash + 1);
    if (name.empty() || name == "." || name == "..") {
        throw std::invalid_argument(in + ": names no file to take the output's name from");
    }
    const auto extension = file_extension(name);
    const auto own = extension ? picture_format_named(*extension) : std::nullopt;
    const PictureFormat written = format.value_or(own.value_or(PictureFormat::png));
    // A name in the format written keeps its own spelling (.jpeg, .TIF);
    // any other gets that format's extension in place of its own.
    if (own == written) return (std::filesystem::path(out_dir) / name).string();
    const std::string stem = extension ? name.substr(0, name.size() - extension->size() - 1) : name;
    return (std::filesystem::path(out_dir) / (stem + "." + std::string(picture_format_extension(written)))).string();
}

}  // namespace orvessa
