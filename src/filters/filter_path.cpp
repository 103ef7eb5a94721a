// The filters' entry points: the path decided once per call (the forced
// path if one is set and available, else the best the processor supports),
// then the filter's kernels for it from its row.
#include "orvessa/filter_path.hpp"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "orvessa/filter_pixels.hpp"

#include "filters/filter_kernels.hpp"
#include "filters/filter_paths.hpp"
#include "filters/row_walk.hpp"
#include "orvessa/float_env.hpp"

namespace orvessa {

namespace {

std::atomic<FilterPath> forced{FilterPath::automatic};

#if ORVESSA_X86_KERNELS
struct CpuFeatures {
    bool sse2 = false;
    bool ssse3 = false;
    bool avx2 = false;    // with FMA
    bool avx512 = false;  // BW and F
};

CpuFeatures detect_features() noexcept {
    CpuFeatures f;
    // The checks include the operating system's support for the wide registers.
    __builtin_cpu_init();
    f.sse2 = __builtin_cpu_supports("sse2");
    f.ssse3 = f.sse2 && __builtin_cpu_supports("ssse3");
    f.avx2 = f.ssse3 && __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    f.avx512 = f.avx2 && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
    return f;
}

const CpuFeatures& features() noexcept {
    static const CpuFeatures detected = detect_features();
    return detected;
}
#endif

bool always() noexcept { return true; }

}  // namespace

namespace filters {

std::span<const FilterPathEntry> filter_path_table() noexcept {
    static constexpr FilterPathEntry table[] = {
        {FilterPath::automatic, "auto", always},
        {FilterPath::literal, "literal", always},
        {FilterPath::scalar, "scalar", always},
#if ORVESSA_X86_KERNELS
        {FilterPath::sse2, "sse2", []() noexcept { return features().sse2; }},
        {FilterPath::ssse3, "ssse3", []() noexcept { return features().ssse3; }},
        {FilterPath::avx2, "avx2", []() noexcept { return features().avx2; }},
        {FilterPath::avx512, "avx512", []() noexcept { return features().avx512; }},
#endif
#if ORVESSA_WASM_SIMD_KERNELS
        // A module with these instructions loads only where the engine has them.
        {FilterPath::simd128, "simd128", always},
#endif
    };
    return table;
}

namespace {

const FilterPathEntry* entry_of(FilterPath path) noexcept {
    for (const auto& entry : filter_path_table()) {
        if (entry.path == path) return &entry;
    }
    return nullptr;
}

}  // namespace
}  // namespace filters

void force_filter_path(FilterPath path) noexcept { forced.store(path); }
FilterPath forced_filter_path() noexcept { return forced.load(); }

bool filter_path_available(FilterPath path) noexcept {
    const auto* entry = filters::entry_of(path);
    return entry != nullptr && entry->available();
}

FilterPath best_filter_path() noexcept {
    FilterPath best = FilterPath::scalar;
    for (const auto& entry : filters::filter_path_table()) {
        if (filters::runs_kernels(entry.path) && entry.available()) best = entry.path;
    }
    return best;
}

std::string_view filter_path_name(FilterPath path) noexcept {
    const auto* entry = filters::entry_of(path);
    return entry != nullptr ? entry->name : "?";
}

std::optional<FilterPath> parse_filter_path(std::string_view name) noexcept {
    for (const auto& entry : filters::filter_path_table()) {
        if (entry.name == name) return entry.path;
    }
    return std::nullopt;
}

namespace filters {

FilterPath resolved_path() noexcept {
    const FilterPath path = forced_filter_path();
    if (path == FilterPath::automatic || !filter_path_available(path)) return best_filter_path();
    return path;
}

// The walk keeps the border of the buffer methods; a filter whose row said
// otherwise would be filtered where it says it is not.
static_assert([] {
    for (const FilterRow& row : pixel_filters) {
        if (row.border != walk_border) return false;
    }
    return true;
}());

}  // namespace filters

namespace {

// The kernels of the call's path for one filter; the literal path, which
// has no row form, filters pictures in memory with the scalar kernels.
struct CallKernels {
    filters::RowKernel row;
    const filters::PreparedRowKernel* prepared;
};

CallKernels kernels_for_call(PixelFilter filter, FilterPath path = filters::resolved_path()) noexcept {
    const filters::FilterKernels& kernels = filters::kernels_of(filter);
    return {kernels.row, kernels.on_path(path)};
}

filters::ImageRows image_rows(const PixelRows& rows) noexcept {
    return {rows.top, -rows.row_step};
}

}  // namespace

void filter_buffer(PixelFilter filter, ByteArrayView& buffer, std::int32_t dim_x, std::int32_t dim_y,
                   const FilterOptions& options) {
    const NearestRoundingScope nearest;
    const FilterPath path = filters::resolved_path();
    if (path == FilterPath::literal) return filters::kernels_of(filter).literal(buffer, dim_x, dim_y);
    const CallKernels kernels = kernels_for_call(filter, path);
    if (kernels.prepared == nullptr) return filters::walk_rows(buffer, dim_x, dim_y, kernels.row, options.threads);
    filters::walk_prepared_rows(buffer, dim_x, dim_y, *kernels.prepared, kernels.row, options.threads);
}

void filter_pixels(PixelFilter filter, const PixelRows& picture, std::int32_t width,
                   std::int32_t height, const FilterOptions& options) {
    if (!filter_row(filter).border.changes_any(width, height)) return;
    const NearestRoundingScope nearest;
    const CallKernels kernels = kernels_for_call(filter);
    filters::walk_picture(image_rows(picture), width, height, kernels.row, kernels.prepared, options.threads);
}

void filter_pixel_rows(PixelFilter filter, const PixelRows& in, const PixelRows& out, std::int32_t width,
                       std::int32_t height, std::int32_t top, std::int32_t count) {
    const FilterBorder& border = filter_row(filter).border;
    const bool changes = border.changes_any(width, height);
    const std::int32_t first = std::max(top, border.first_row());
    const std::int32_t last = std::min(top + count - 1, border.last_row(height));
    const auto row_bytes = static_cast<std::size_t>(width) * 3;
    for (std::int32_t i = 0; i < count; ++i) {
        const std::int32_t y = top + i;
        if (!changes || y < first || y > last) std::memcpy(out.row(i), in.row(i), row_bytes);
    }
    if (!changes || first > last) return;
    const NearestRoundingScope nearest;
    const CallKernels kernels = kernels_for_call(filter);
    // Rows numbered from first - 1 in both.
    const PixelRows from{in.row(first - top - 1), in.row_step};
    const PixelRows to{out.row(first - top - 1), out.row_step};
    filters::filter_rows_into(image_rows(from), image_rows(to), width, 1, last - first + 1, kernels.row,
                              kernels.prepared);
}

}  // namespace orvessa
