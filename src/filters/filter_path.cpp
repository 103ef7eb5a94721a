// Path selection: the forced path if one is set and available, else the
// best the processor supports, decided once per call.
#include "orvessa/filter_path.hpp"

#include <atomic>

#include "filters/blur.hpp"
#include "filters/filters.hpp"
#include "filters/literal_filters.hpp"
#include "filters/median_cut.hpp"
#include "filters/row_walk.hpp"
#include "filters/simd_kernels.hpp"
#include "orvessa/float_env.hpp"

namespace orvessa {

namespace {
std::atomic<FilterPath> forced{FilterPath::automatic};

constexpr struct {
    FilterPath path;
    std::string_view name;
} path_names[] = {
    {FilterPath::automatic, "auto"}, {FilterPath::literal, "literal"},
    {FilterPath::scalar, "scalar"},  {FilterPath::sse2, "sse2"},
    {FilterPath::ssse3, "ssse3"},    {FilterPath::avx2, "avx2"},
    {FilterPath::avx512, "avx512"},
};
}  // namespace

void force_filter_path(FilterPath path) noexcept { forced.store(path); }
FilterPath forced_filter_path() noexcept { return forced.load(); }

namespace {

struct CpuFeatures {
    bool sse2 = false;
    bool ssse3 = false;
    bool avx2 = false;    // with FMA
    bool avx512 = false;  // BW and F
};

CpuFeatures detect_features() noexcept {
    CpuFeatures f;
#if ORVESSA_X86_KERNELS
    // The checks include the operating system's support for the wide registers.
    __builtin_cpu_init();
    f.sse2 = __builtin_cpu_supports("sse2");
    f.ssse3 = f.sse2 && __builtin_cpu_supports("ssse3");
    f.avx2 = f.ssse3 && __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    f.avx512 = f.avx2 && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
#endif
    return f;
}

const CpuFeatures& features() noexcept {
    static const CpuFeatures detected = detect_features();
    return detected;
}

}  // namespace

bool filter_path_available(FilterPath path) noexcept {
    switch (path) {
        case FilterPath::automatic:
        case FilterPath::literal:
        case FilterPath::scalar:
            return true;
        case FilterPath::sse2:
            return features().sse2;
        case FilterPath::ssse3:
            return features().ssse3;
        case FilterPath::avx2:
            return features().avx2;
        case FilterPath::avx512:
            return features().avx512;
    }
    return false;
}

FilterPath best_filter_path() noexcept {
    if (features().avx512) return FilterPath::avx512;
    if (features().avx2) return FilterPath::avx2;
    if (features().ssse3) return FilterPath::ssse3;
    if (features().sse2) return FilterPath::sse2;
    return FilterPath::scalar;
}

std::string_view filter_path_name(FilterPath path) noexcept {
    for (const auto& entry : path_names) {
        if (entry.path == path) return entry.name;
    }
    return "?";
}

std::optional<FilterPath> parse_filter_path(std::string_view name) noexcept {
    for (const auto& entry : path_names) {
        if (entry.name == name) return entry.path;
    }
    return std::nullopt;
}

namespace filters {

namespace {
FilterPath resolved_path() noexcept {
    const FilterPath path = forced_filter_path();
    if (path == FilterPath::automatic || !filter_path_available(path)) return best_filter_path();
    return path;
}
}  // namespace

namespace {

// The row kernels serve the paths without prepared-row kernels, and those
// with them when the prepared rows cannot be allocated.
struct Kernels {
    RowKernel blur;
    RowKernel median_cut;
    // The kernels over prepared rows where the path has them (next_row set).
    PreparedRowKernel blur_prepared{};
    PreparedRowKernel median_cut_prepared{};
};

Kernels kernels_for(FilterPath path) noexcept {
    switch (path) {
#if ORVESSA_X86_KERNELS
        case FilterPath::sse2:
            return {blur_row_sse2,
                    median_cut_row_sse2,
                    {1, blur_row_sums, blur_next_row_sse2},
                    {2, median_cut_prepare_row, median_cut_next_row_sse2}};
        case FilterPath::ssse3:
            return {blur_row_sse2,
                    median_cut_row_sse2,
                    {1, blur_row_sums, blur_next_row_ssse3},
                    {2, median_cut_prepare_row, median_cut_next_row_ssse3}};
        case FilterPath::avx2:
            return {blur_row_sse2,
                    median_cut_row_sse2,
                    {1, blur_prepare_row_avx2, blur_next_row_avx2},
                    {2, median_cut_prepare_row, median_cut_next_row_avx2}};
        case FilterPath::avx512:
            return {blur_row_sse2,
                    median_cut_row_sse2,
                    {1, blur_prepare_row_avx2, blur_next_row_avx2},
                    {2, median_cut_prepare_row, median_cut_next_row_avx512}};
#endif
        default:
            return {blur_row_scalar, median_cut_row_scalar};
    }
}

}  // namespace

namespace {

// The walk over prepared rows where the path has kernels for it, else the plain walk.
void run_walk(ByteArrayView& buffer, std::int32_t dim_x, std::int32_t dim_y, RowKernel row,
              const PreparedRowKernel& prepared, std::int32_t threads) {
    if (prepared.next_row == nullptr) return walk_rows(buffer, dim_x, dim_y, row, threads);
    walk_prepared_rows(buffer, dim_x, dim_y, prepared, row, threads);
}

}  // namespace

void blur_buffer(ByteArrayView& buffer, std::int32_t dim_x, std::int32_t dim_y,
                 const FilterOptions& options) {
    const FilterPath path = resolved_path();
    if (path == FilterPath::literal) return literal_blur_buffer(buffer, dim_x, dim_y);
    const Kernels kernels = kernels_for(path);
    run_walk(buffer, dim_x, dim_y, kernels.blur, kernels.blur_prepared, options.threads);
}

void median_cut_buffer(ByteArrayView& buffer, std::int32_t dim_x, std::int32_t dim_y,
                       const FilterOptions& options) {
    const NearestRoundingScope nearest;
    const FilterPath path = resolved_path();
    if (path == FilterPath::literal) return literal_median_cut_buffer(buffer, dim_x, dim_y);
    const Kernels kernels = kernels_for(path);
    run_walk(buffer, dim_x, dim_y, kernels.median_cut, kernels.median_cut_prepared,
             options.threads);
}

}  // namespace filters
}  // namespace orvessa
