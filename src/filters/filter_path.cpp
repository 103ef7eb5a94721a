// Path selection: the forced path if one is set and available, else the
// best the processor supports, decided once per call.
#include "orvessa/filter_path.hpp"

#include <atomic>

#include "orvessa/filter_pixels.hpp"

#include "filters/blur.hpp"
#include "filters/filter_paths.hpp"
#include "filters/filters.hpp"
#include "filters/literal_filters.hpp"
#include "filters/median_cut.hpp"
#include "filters/row_walk.hpp"
#include "filters/simd_kernels.hpp"
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
        {FilterPath::sse2, "sse2", []() noexcept { return features().sse2; },
         {1, blur_row_sums, blur_next_row_sse2},
         {2, median_cut_prepare_row, median_cut_next_row_sse2}},
        {FilterPath::ssse3, "ssse3", []() noexcept { return features().ssse3; },
         {1, blur_row_sums, blur_next_row_ssse3},
         {2, median_cut_prepare_row, median_cut_next_row_ssse3}},
        {FilterPath::avx2, "avx2", []() noexcept { return features().avx2; },
         {1, blur_prepare_row_avx2, blur_next_row_avx2},
         {2, median_cut_prepare_row, median_cut_next_row_avx2}},
        {FilterPath::avx512, "avx512", []() noexcept { return features().avx512; },
         {1, blur_prepare_row_avx2, blur_next_row_avx2},
         {2, median_cut_prepare_row, median_cut_next_row_avx512}},
#endif
#if ORVESSA_WASM_SIMD_KERNELS
        // A module with these instructions loads only where the engine has them.
        {FilterPath::simd128, "simd128", always,
         {1, blur_row_sums, blur_next_row_sse2},
         {2, median_cut_prepare_row, median_cut_next_row_simd128}},
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

namespace {

const FilterPathEntry& resolved_path() noexcept {
    const FilterPath path = forced_filter_path();
    const FilterPathEntry* entry = entry_of(path);
    if (path == FilterPath::automatic || entry == nullptr || !entry->available()) {
        entry = entry_of(best_filter_path());
    }
    return *entry;
}

// The walk over prepared rows where the path has kernels for it, else the
// plain walk; the scalar row kernel serves bands without prepared rows.
void run_walk(ByteArrayView& buffer, std::int32_t dim_x, std::int32_t dim_y, RowKernel row,
              const PreparedRowKernel& prepared, std::int32_t threads) {
    if (prepared.next_row == nullptr) return walk_rows(buffer, dim_x, dim_y, row, threads);
    walk_prepared_rows(buffer, dim_x, dim_y, prepared, row, threads);
}

}  // namespace

void blur_buffer(ByteArrayView& buffer, std::int32_t dim_x, std::int32_t dim_y,
                 const FilterOptions& options) {
    const FilterPathEntry& path = resolved_path();
    if (path.path == FilterPath::literal) return literal_blur_buffer(buffer, dim_x, dim_y);
    run_walk(buffer, dim_x, dim_y, blur_row_scalar, path.blur, options.threads);
}

void median_cut_buffer(ByteArrayView& buffer, std::int32_t dim_x, std::int32_t dim_y,
                       const FilterOptions& options) {
    const NearestRoundingScope nearest;
    const FilterPathEntry& path = resolved_path();
    if (path.path == FilterPath::literal) return literal_median_cut_buffer(buffer, dim_x, dim_y);
    run_walk(buffer, dim_x, dim_y, median_cut_row_scalar, path.median_cut, options.threads);
}

}  // namespace filters

namespace {

// The kernels of the call's path for one filter; the literal path, which
// has no row form, filters pictures in memory with the scalar kernels.
struct FilterKernels {
    filters::RowKernel row;
    filters::PreparedRowKernel prepared;
    const filters::PreparedRowKernel* prepared_or_null() const noexcept {
        return prepared.next_row != nullptr ? &prepared : nullptr;
    }
};

FilterKernels kernels_for_call(PixelFilter filter) noexcept {
    const filters::FilterPathEntry& path = filters::resolved_path();
    if (filter == PixelFilter::blur) return {filters::blur_row_scalar, path.blur};
    return {filters::median_cut_row_scalar, path.median_cut};
}

filters::ImageRows image_rows(const PixelRows& rows) noexcept {
    return {rows.top, -rows.row_step};
}

}  // namespace

void filter_pixels(PixelFilter filter, const PixelRows& picture, std::int32_t width,
                   std::int32_t height, const FilterOptions& options) {
    if (width < 3 || height < 4) return;
    const NearestRoundingScope nearest;
    const FilterKernels kernels = kernels_for_call(filter);
    filters::walk_picture(image_rows(picture), width, height, kernels.row,
                          kernels.prepared_or_null(), options.threads);
}

void filter_pixel_rows(PixelFilter filter, const PixelRows& in, const PixelRows& out,
                       std::int32_t width, std::int32_t first, std::int32_t last) {
    if (width < 3 || first < 1 || last < first) return;
    const NearestRoundingScope nearest;
    const FilterKernels kernels = kernels_for_call(filter);
    filters::filter_rows_into(image_rows(in), image_rows(out), width, first, last, kernels.row,
                              kernels.prepared_or_null());
}

}  // namespace orvessa
