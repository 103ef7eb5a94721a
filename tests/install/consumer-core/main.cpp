// A program of the filters alone: it blurs a 24-bit pixel buffer file as
// `orvessa blur --raw` does, with no platform library linked.
//   core-consumer WIDTH HEIGHT IN OUT
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include <orvessa/pictava.hpp>

int main(int argc, char** argv) {
    if (argc != 5) return 1;
    std::ifstream in(argv[3], std::ios::binary);
    std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    orvessa::ByteArrayView view(bytes.data(), static_cast<std::uint32_t>(bytes.size()), 0);
    orvessa::Pictava(nullptr).Blur_Buffer(view, std::atoi(argv[1]), std::atoi(argv[2]));
    std::ofstream(argv[4], std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                   static_cast<std::streamsize>(bytes.size()));
    return 0;
}
