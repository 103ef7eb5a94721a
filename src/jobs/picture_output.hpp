// OUT as a picture job writes a picture into it: its format and quality,
// and the platform's file, opened (and so checked) once, before the job
// reads anything.
#pragma once

#include <string>
#include <utility>

#include "orvessa/argument_rules.hpp"
#include "orvessa/pictures.hpp"
#include "platform/linux/output_file.hpp"

namespace orvessa::jobs {

class PictureOutput {
public:
    PictureOutput(const std::string& out, const PictureSettings& settings)
        : format_(output_format(out, settings)), file_(out, settings.existing) {
        set_picture_threads(checked_threads(settings.threads));
    }
    // The picture, whole, then OUT renamed into place.
    void write(const PictureStream& picture) {
        picture.write(file_.fd(), format_.first, format_.second, file_.name());
        file_.commit();
    }

private:
    std::pair<PictureFormat, int> format_;
    platform::OutputFile file_;
};

}  // namespace orvessa::jobs
