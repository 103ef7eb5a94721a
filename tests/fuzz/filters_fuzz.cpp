// Every filter of the table under any width, height, lowest index, number of
// dimensions, buffer length and forced path, against the literal filter: the
// bytes left in the array and the error raised must be the same. A
// difference aborts, as a crash does.
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "filters/filter_kernels.hpp"
#include "orvessa/filter_pixels.hpp"
#include "orvessa/float_env.hpp"
#include "fuzz_input.hpp"
#include "orvessa/error.hpp"
#include "orvessa/filter_path.hpp"
#include "orvessa/pictava.hpp"

namespace {

using namespace orvessa;

constexpr FilterPath paths[] = {FilterPath::automatic, FilterPath::scalar, FilterPath::sse2,
                                FilterPath::avx2, FilterPath::avx512};

struct Outcome {
    std::vector<std::uint8_t> bytes;
    std::optional<std::int32_t> error;
};

template <typename Call>
Outcome run(std::vector<std::uint8_t> bytes, std::int32_t lower_bound, std::uint32_t dimensions,
            Call call) {
    ByteArrayView array = dimensions == 0
                              ? ByteArrayView()
                              : ByteArrayView(bytes.data(), static_cast<std::uint32_t>(bytes.size()),
                                              lower_bound, dimensions);
    Outcome outcome;
    try {
        call(array);
    } catch (const Error& e) {
        outcome.error = e.number();
    }
    outcome.bytes = std::move(bytes);
    return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::FuzzInput in(data, size);
    const std::uint8_t choice = in.take<std::uint8_t>();
    const FilterRow& filter = pixel_filters[choice % std::size(pixel_filters)];
    const FilterPath path = paths[(choice >> 1) % std::size(paths)];
    const std::uint32_t dimensions = (choice >> 4) % 3;
    const std::int32_t dim_x = in.take_int32();
    const std::int32_t dim_y = in.take_int32();
    const std::int32_t lower_bound = in.take_int32();
    if (!filter_path_available(path)) return -1;
    // A row window of hundreds of megabytes is legitimate (reserved before
    // the first read, filled only as far as the buffer goes) but slow under
    // the sanitizers: widths between 4 Mi and the stride's overflow bound
    // are skipped.
    if (dim_x > (1 << 22) && dim_x < 715827882) return -1;
    // A picture with no pixel columns walks its rows without touching a
    // byte; billions of such rows are slow, not wrong.
    if (dim_y > (1 << 20) && dim_x < 3) return -1;
    const std::vector<std::uint8_t> buffer(in.rest(), in.rest() + in.rest_size());

    const Outcome want = run(buffer, lower_bound, dimensions, [&](ByteArrayView& a) {
        const NearestRoundingScope nearest;
        filter.kernels->literal(a, dim_x, dim_y);
    });
    force_filter_path(path);
    const Outcome got = run(buffer, lower_bound, dimensions, [&](ByteArrayView& a) {
        filter_buffer(filter.filter, a, dim_x, dim_y);
    });
    force_filter_path(FilterPath::automatic);

    if (got.error != want.error || got.bytes != want.bytes) {
        std::fprintf(stderr,
                     "%s, path %s, %d x %d, lowest index %d, %u dimensions, %zu bytes: "
                     "error %d (literal %d), bytes %s\n",
                     std::string(filter.method).c_str(),
                     std::string(filter_path_name(path)).c_str(), dim_x, dim_y, lower_bound,
                     dimensions, buffer.size(), got.error.value_or(0), want.error.value_or(0),
                     got.bytes == want.bytes ? "equal" : "differ");
        std::abort();
    }
    return 0;
}
