// The functions the WebAssembly module exports to orvessa.js. Each returns 0
// or the automation error number of what went wrong (error_text() says it in
// words); no exception leaves the module. Arguments have been checked by the
// JavaScript side: these see the bytes in the module's memory.
#include <cstdint>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "convert/fit_to_box.hpp"
#include "convert/gray_rule.hpp"
#include "orvessa/byte_array.hpp"
#include "orvessa/error.hpp"
#include "orvessa/filter_path.hpp"
#include "orvessa/filter_pixels.hpp"
#include "orvessa/pictava.hpp"
#include "orvessa/version.hpp"
#include "platform/web/web_platform.hpp"
#include "rgba_pixels.hpp"

#define ORVESSA_EXPORT extern "C" __attribute__((used, visibility("default")))

namespace orvessa::web {

namespace {

std::string last_error;

template <typename Work>
std::int32_t guarded(Work&& work) noexcept {
    try {
        work();
        return 0;
    } catch (const Error& e) {
        last_error = e.description();
        return e.number();
    } catch (const std::bad_alloc&) {
        last_error = "Out of memory";
        return static_cast<std::int32_t>(ErrorNumber::out_of_memory);
    } catch (...) {
        last_error = "Unexpected failure";
        return static_cast<std::int32_t>(ErrorNumber::type_mismatch);
    }
}

const FilterRow* row_at(std::int32_t index) noexcept {
    constexpr auto count = static_cast<std::int32_t>(std::size(pixel_filters));
    return index >= 0 && index < count ? &pixel_filters[index] : nullptr;
}

PixelFilter filter_at(std::int32_t index) {
    const FilterRow* row = row_at(index);
    if (row == nullptr) throw Error::type_mismatch();
    return row->filter;
}

}  // namespace

}  // namespace orvessa::web

using namespace orvessa;

// The filters' names, by index (pixel_filters); null past the last.
ORVESSA_EXPORT const char* orvessa_filter_name(std::int32_t index) {
    const FilterRow* row = web::row_at(index);
    return row != nullptr ? row->name.data() : nullptr;
}

#define ORVESSA_TEXT(x) #x
#define ORVESSA_NUMBER_TEXT(x) ORVESSA_TEXT(x)
// The package's version: the project's major, minor and revision (1.0.9).
ORVESSA_EXPORT const char* orvessa_version() {
    return ORVESSA_NUMBER_TEXT(ORVESSA_VERSION_MAJOR) "." ORVESSA_NUMBER_TEXT(
        ORVESSA_VERSION_MINOR) "." ORVESSA_NUMBER_TEXT(ORVESSA_VERSION_TWEAK);
}

ORVESSA_EXPORT const char* orvessa_error_text() { return web::last_error.c_str(); }

// The path the filters take here: the forced one, else the fastest.
ORVESSA_EXPORT const char* orvessa_path_name() {
    const FilterPath forced = forced_filter_path();
    return filter_path_name(forced != FilterPath::automatic ? forced : best_filter_path()).data();
}

// For tests: run the filters by one path ("literal", "scalar", "simd128", "auto").
ORVESSA_EXPORT std::int32_t orvessa_force_path(const char* name) {
    const auto path = parse_filter_path(name);
    if (!path || !filter_path_available(*path)) return 1;
    force_filter_path(*path);
    return 0;
}

ORVESSA_EXPORT std::uint8_t* orvessa_alloc(std::uint32_t size) {
    return static_cast<std::uint8_t*>(::operator new(size == 0 ? 1 : size, std::nothrow));
}
ORVESSA_EXPORT void orvessa_free(std::uint8_t* bytes) { ::operator delete(bytes); }

// Blur_Buffer or MedianCut_Buffer over `count` bytes whose lowest index is
// lower_bound: the DLL's contract, bytes written before an error stay.
ORVESSA_EXPORT std::int32_t orvessa_filter_buffer(std::int32_t filter, std::uint8_t* bytes,
                                                  std::uint32_t count, std::int32_t lower_bound,
                                                  std::int32_t width, std::int32_t height) {
    return web::guarded([&] {
        const PixelFilter which = web::filter_at(filter);
        ByteArrayView array(bytes, count, lower_bound);
        filter_buffer(which, array, width, height);
    });
}

// A filter over a picture of 3 (R G B) or 4 (R G B A) bytes a pixel, rows
// `stride` bytes apart, top row first.
ORVESSA_EXPORT std::int32_t orvessa_filter_picture(std::int32_t filter, std::uint8_t* data,
                                                   std::int32_t width, std::int32_t height,
                                                   std::int32_t stride, std::int32_t channels) {
    return web::guarded([&] {
        const PixelFilter which = web::filter_at(filter);
        if (channels == 3) return filter_pixels(which, PixelRows{data, stride}, width, height);
        web::filter_rgba(which, data, width, height, stride);
    });
}

ORVESSA_EXPORT std::int32_t orvessa_gray_picture(std::uint8_t* data, std::int32_t width,
                                                 std::int32_t height, std::int32_t stride,
                                                 std::int32_t channels, std::int32_t two_color,
                                                 std::int32_t threshold) {
    return web::guarded([&] {
        const auto table = convert::sum_table(two_color != 0, static_cast<std::uint8_t>(threshold));
        convert::convert_pixels(data, width, height, stride, table, channels);
    });
}

// FitToBox: left, top, width and height into out[0..3].
ORVESSA_EXPORT std::int32_t orvessa_fit(std::int32_t box_width, std::int32_t box_height,
                                        std::int32_t picture_width, std::int32_t picture_height,
                                        std::int32_t* out) {
    return web::guarded([&] {
        convert::fit_to_box(box_width, box_height, picture_width, picture_height, out[0], out[1],
                            out[2], out[3]);
    });
}

// ScaleX (axis 0) or ScaleY (axis 1) at per_inch pixels per inch into *out.
ORVESSA_EXPORT std::int32_t orvessa_scale(std::int32_t axis, float himetric, std::int32_t per_inch,
                                          std::int32_t* out) {
    return web::guarded([&] {
        web::set_logical_resolution(per_inch);
        Pictava effects;
        *out = axis == 0 ? effects.ScaleX(himetric) : effects.ScaleY(himetric);
    });
}
