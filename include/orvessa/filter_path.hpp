// Which implementation of the filters runs. `automatic` picks the fastest
// path the processor supports, once per call; the others force one path,
// for tests, benchmarks and debugging. `literal` is the plain step-by-step
// implementation that every other path is checked against.
#pragma once

#include <optional>
#include <string_view>

namespace orvessa {

// simd128 is WebAssembly's 128-bit SIMD (the SSE2 kernels through the
// compiler's SSE2 headers), only in the WebAssembly build that has it.
enum class FilterPath { automatic, literal, scalar, sse2, ssse3, avx2, avx512, simd128 };

void force_filter_path(FilterPath path) noexcept;
FilterPath forced_filter_path() noexcept;
// Whether this build and this processor can run the path.
bool filter_path_available(FilterPath path) noexcept;
// The path that `automatic` resolves to here.
FilterPath best_filter_path() noexcept;

std::string_view filter_path_name(FilterPath path) noexcept;
std::optional<FilterPath> parse_filter_path(std::string_view name) noexcept;

}  // namespace orvessa
