// A program outside the project that uses an installed Orvessa: it paints a
// picture gray onto an in-memory surface and saves it, as `orvessa gray`
// does, and prints the version it was built against.
//   consumer PICTURE OUT.png
#include <cstdio>
#include <string>

#include <orvessa/pictava.hpp>
#include <orvessa/linux_platform.hpp>
#include <orvessa/pictures.hpp>
#include <orvessa/version.hpp>

int main(int argc, char** argv) {
    if (argc != 3) return 1;
    const std::string in = argv[1];
    if (!orvessa::is_picture_file(in)) return 3;
    const orvessa::Image picture = orvessa::read_picture_file(in);
    const orvessa::Surface surface(picture.width, picture.height);
    orvessa::Pictava effects;
    if (!effects.ColorToBN(std::u16string(in.begin(), in.end()), surface.hdc(), 0)) return 2;
    orvessa::write_picture_file(argv[2], surface.to_image());
    std::printf("orvessa %s\n", ORVESSA_VERSION_TEXT);
    return 0;
}
