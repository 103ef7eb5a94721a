// The gray / two-colour picture: ColorToBN painting a picture file on a
// surface in memory, at its natural size or fitted into a white box.
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "orvessa/argument_rules.hpp"
#include "orvessa/error.hpp"
#include "orvessa/pictava.hpp"
#include "orvessa/pictures.hpp"
#include "jobs/picture_output.hpp"
#include "platform/linux/unique_fd.hpp"
#include "platform/platform.hpp"

namespace orvessa {

namespace {

// ColorToBN loads a picture by its file name: standard input is first
// copied into memory that has one (/proc/self/fd/N), never onto the disk.
class StandardInputCopy {
public:
    static constexpr const char* name = "standard input";

    StandardInputCopy() : file_(::memfd_create("orvessa-standard-input", MFD_CLOEXEC)) {
        if (file_.get() < 0) throw failure(errno);
        const std::vector<std::uint8_t> bytes = read_file("-");
        if (const int err = platform::write_all(file_.get(), bytes.data(), bytes.size())) throw failure(err);
    }
    std::string path() const { return "/proc/self/fd/" + std::to_string(file_.get()); }

private:
    static Error failure(int err) { return Error::reading(ErrorNumber::file_access, name, std::strerror(err), err); }
    platform::UniqueFd file_;
};

Image gray_of_file(const std::string& in, const std::string& file, const GraySettings& gray) {
    const auto name = utf16_file_name(file);
    if (!name) throw Error::reading(ErrorNumber::file_access, in, "the file name is not UTF-8");
    Pictava effects;
    std::int32_t width = 0, height = 0;
    try {
        // Loaded also for a box: a picture that cannot be read says why.
        const auto picture = default_platform().load_picture(*name);
        width = effects.ScaleX(static_cast<float>(picture->himetric_width()));
        height = effects.ScaleY(static_cast<float>(picture->himetric_height()));
    } catch (const Error& e) {
        throw e.about(in);
    }
    if (gray.fit) std::tie(width, height) = *gray.fit;
    if (width <= 0 || height <= 0) throw Error::reading(ErrorNumber::invalid_picture, in, "the picture has no pixels");
    if (std::int64_t{width} * height > max_picture_pixels) {
        throw Error::reading(ErrorNumber::out_of_memory, in,
                             "the result of " + std::to_string(width) + " x " + std::to_string(height) +
                                 " pixels would be too large (the limit is " + std::to_string(max_picture_pixels) +
                                 " pixels)");
    }
    const Surface surface(width, height);
    if (!effects.ColorToBN(*name, surface.hdc(), 0, gray.two_color ? -1 : 0, gray.threshold, gray.fit ? -1 : 0,
                           width, height)) {
        throw Error::reading(ErrorNumber::invalid_picture, in, "the picture could not be converted");
    }
    return surface.to_image();
}

}  // namespace

Image gray_picture(const std::string& in, const GraySettings& gray) {
    if (gray.fit) checked_box(gray.fit->first, gray.fit->second);
    if (in != "-") return gray_of_file(in, in, gray);
    const StandardInputCopy input;
    return gray_of_file(StandardInputCopy::name, input.path(), gray);
}

void gray_picture_file(const std::string& in, const std::string& out, const GraySettings& gray,
                       const PictureSettings& settings) {
    jobs::PictureOutput output(out, settings);
    output.write(PictureStream::of_image(gray_picture(in, gray)));
}

}  // namespace orvessa
