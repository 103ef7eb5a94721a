// The arithmetic shortcuts of the vector kernels, proved over their whole
// domains with the instructions the kernels use.
#include <gtest/gtest.h>

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

#include <cstdint>
#include <string>

#include "filters/blur.hpp"
#include "filters/blur_round_sse2.hpp"
#include "filters/median_cut.hpp"
#include "filters/median_cut_sse.hpp"
#include "orvessa/arith.hpp"

namespace orvessa::filters {
namespace {

constexpr std::int32_t max_sum = 16 * 255;

unsigned sse2_sixteenth(unsigned s) {
    const __m128i v = round_sixteenth_sse2(_mm_set1_epi16(static_cast<std::int16_t>(s)));
    return static_cast<std::uint16_t>(_mm_cvtsi128_si32(v));
}

// The scalar kernels round so, and the SSE2 blur with its mask and high multiply.
TEST(SimdIdentities, BlurRoundingFitsSixteenBitLanesForEverySum) {
    for (unsigned s = 0; s <= max_sum; ++s) {
        ASSERT_LE(s + 7 + 1, 0xFFFFu);
        ASSERT_EQ(blur_byte(s), round_to_byte(s / 16.0)) << s;
        ASSERT_EQ(sse2_sixteenth(s), blur_byte(s)) << s;
    }
}

__attribute__((target("avx2"))) unsigned rounding_multiply_sixteenth(unsigned s) {
    const __m256i sum = _mm256_set1_epi16(static_cast<std::int16_t>(s));
    const __m256i half_up = _mm256_mulhrs_epi16(sum, _mm256_set1_epi16(2048));
    const __m256i tie_down =
        _mm256_cmpeq_epi16(_mm256_and_si256(sum, _mm256_set1_epi16(31)), _mm256_set1_epi16(8));
    return static_cast<std::uint16_t>(_mm256_extract_epi16(_mm256_add_epi16(half_up, tie_down), 0));
}

__attribute__((target("ssse3"))) unsigned rounding_multiply_sixteenth_128(unsigned s) {
    const __m128i sum = _mm_set1_epi16(static_cast<std::int16_t>(s));
    const __m128i half_up = _mm_mulhrs_epi16(sum, _mm_set1_epi16(2048));
    const __m128i tie_down =
        _mm_cmpeq_epi16(_mm_and_si128(sum, _mm_set1_epi16(31)), _mm_set1_epi16(8));
    return static_cast<std::uint16_t>(_mm_cvtsi128_si32(_mm_add_epi16(half_up, tie_down)));
}

// The AVX2 blur rounds so, and the SSSE3 blur on 128 bits.
TEST(SimdIdentities, RoundingMultiplyWithTieFixGivesEveryBlurByte) {
    const bool avx2 = __builtin_cpu_supports("avx2"), ssse3 = __builtin_cpu_supports("ssse3");
    if (!avx2 && !ssse3) GTEST_SKIP() << "no SSSE3";
    for (unsigned s = 0; s <= max_sum; ++s) {
        const unsigned want = round_to_byte(s / 16.0);
        if (avx2) {
            ASSERT_EQ(rounding_multiply_sixteenth(s), want) << s;
        }
        if (ssse3) {
            ASSERT_EQ(rounding_multiply_sixteenth_128(s), want) << s;
        }
    }
}

// The exact spread term of a cell, as the filter defines it.
std::int32_t spread_term(std::int32_t cell, std::int32_t sum) {
    const double diff = cell - sum / 16.0;
    return round_to_int32(diff * diff);
}

__attribute__((target("ssse3"))) std::int32_t rounding_high_multiply_term(std::int32_t cell,
                                                                          std::int32_t sum) {
    const __m128i x = _mm_set1_epi16(static_cast<std::int16_t>((cell << 7) - (sum << 3)));
    const __m128i t = _mm_mulhrs_epi16(x, _mm_adds_epi16(x, x));
    return static_cast<std::uint16_t>(_mm_cvtsi128_si32(t));
}

// AVX2, AVX-512 and SSSE3 compute each term so; terms add with unsigned
// saturation (SSSE3: signed, as no term exceeds 32767), so a term of
// full_mix_spread or more makes M at least that.
TEST(SimdIdentities, RoundingHighMultiplyGivesEverySpreadTermOrSaturates) {
    if (!__builtin_cpu_supports("ssse3")) GTEST_SKIP() << "no SSSE3";
    for (std::int32_t cell = 0; cell <= 255; ++cell) {
        for (std::int32_t sum = 0; sum <= max_sum; ++sum) {
            const std::int32_t exact = spread_term(cell, sum);
            const std::int32_t term = rounding_high_multiply_term(cell, sum);
            ASSERT_LE(term, 32767) << cell << " " << sum;
            if (exact < full_mix_spread) {
                ASSERT_EQ(term, exact) << cell << " " << sum;
            } else {
                ASSERT_GE(term, full_mix_spread) << cell << " " << sum;
            }
        }
    }
}

// The SSE2 kernel computes each term so: exact while below
// full_mix_spread, never negative, and at least full_mix_spread from there.
TEST(SimdIdentities, SaturatedHighMultiplyGivesEverySpreadTermOrSaturates) {
    for (std::int32_t cell = 0; cell <= 255; ++cell) {
        for (std::int32_t sum = 0; sum <= max_sum; ++sum) {
            const __m128i x = _mm_set1_epi16(static_cast<std::int16_t>((cell << 7) - (sum << 3)));
            const auto term =
                static_cast<std::int16_t>(_mm_cvtsi128_si32(sse::HighMultiplyTerms::term(x)));
            const std::int32_t exact = spread_term(cell, sum);
            ASSERT_GE(term, 0) << cell << " " << sum;
            if (exact < full_mix_spread) {
                ASSERT_EQ(term, exact) << cell << " " << sum;
            } else {
                ASSERT_GE(term, full_mix_spread) << cell << " " << sum;
            }
        }
    }
}

// The vector kernels divide so: two single-precision divisions, which
// proved cheaper than a table gather or a reciprocal with fused corrections.
TEST(SimdIdentities, TwoFloatDivisionsGiveEveryMixFactor) {
    for (std::int32_t m = 0; m <= full_mix_spread; ++m) {
        volatile float spread = static_cast<float>(m);  // divide at run time
        const float mix = spread / 36.0f / 85.0f;
        const float want = m < full_mix_spread ? mix_factors[static_cast<std::size_t>(m)] : 1.0f;
        ASSERT_EQ(mix, want) << m;
    }
}

// For every mix factor, Sum and own byte: mix * own + (1 - mix) * blur in
// double equals blur + mix * (own - blur) in double (both exact), and one
// single-precision fused multiply-add rounds it as the float store does.
__attribute__((target("avx2,fma"))) bool blends_agree(float mix, std::int32_t own,
                                                      std::int32_t& bad_sum) {
    const __m256 mix_f = _mm256_set1_ps(mix);
    const __m256d mix_d = _mm256_set1_pd(mix);
    const __m256 own_f = _mm256_set1_ps(static_cast<float>(own));
    const __m256d own_d = _mm256_set1_pd(own);
    for (std::int32_t sum = 0; sum <= max_sum; sum += 8) {
        const __m256i sums =
            _mm256_add_epi32(_mm256_set1_epi32(sum), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
        const __m256 blur = _mm256_mul_ps(_mm256_cvtepi32_ps(sums), _mm256_set1_ps(1.0f / 16));
        const __m256 fused = _mm256_fmadd_ps(mix_f, _mm256_sub_ps(own_f, blur), blur);
        for (int half = 0; half < 2; ++half) {
            const __m256d blur_d = _mm256_cvtps_pd(half ? _mm256_extractf128_ps(blur, 1)
                                                        : _mm256_castps256_ps128(blur));
            const __m256d defined =
                _mm256_add_pd(_mm256_mul_pd(mix_d, own_d),
                              _mm256_mul_pd(_mm256_sub_pd(_mm256_set1_pd(1.0), mix_d), blur_d));
            const __m256d rearranged =
                _mm256_add_pd(blur_d, _mm256_mul_pd(mix_d, _mm256_sub_pd(own_d, blur_d)));
            const __m128 stored = _mm256_cvtpd_ps(defined);
            const __m128 fused_half =
                half ? _mm256_extractf128_ps(fused, 1) : _mm256_castps256_ps128(fused);
            const int same_double =
                _mm256_movemask_pd(_mm256_cmp_pd(defined, rearranged, _CMP_EQ_OQ));
            const int same_float = _mm_movemask_ps(_mm_cmpeq_ps(stored, fused_half));
            if (same_double != 0xF || same_float != 0xF) {
                bad_sum = sum + 4 * half;
                return false;
            }
        }
    }
    return true;
}

TEST(SimdIdentities, FusedAndDoubleBlendsEqualTheDefinedBlend) {
    if (!__builtin_cpu_supports("avx2") || !__builtin_cpu_supports("fma")) {
        GTEST_SKIP() << "no AVX2 and FMA";
    }
    for (std::int32_t m = 0; m <= full_mix_spread; ++m) {
        const float mix = m < full_mix_spread ? mix_factors[static_cast<std::size_t>(m)] : 1.0f;
        for (std::int32_t own = 0; own <= 255; ++own) {
            std::int32_t bad_sum = -1;
            ASSERT_TRUE(blends_agree(mix, own, bad_sum))
                << "M " << m << " own " << own << " Sum near " << bad_sum;
        }
    }
}

// The 128-bit kernels blend so (median_cut_sse.hpp), without a fused
// multiply-add: for every M, own byte and Sum, a lane that the blend does
// not flag holds the defined byte, and median_cut_blend, which redoes the
// flagged ones, gives it too.
TEST(SimdIdentities, MultiplyAddBlendGivesTheDefinedByteOrFlagsTheLane) {
    const __m128i lane = _mm_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7);
    std::int64_t flagged = 0;
    for (std::int32_t m = 0; m <= full_mix_spread; ++m) {
        const double mix = m < full_mix_spread ? mix_factors[static_cast<std::size_t>(m)] : 1.0;
        const __m128i spread = _mm_set1_epi16(static_cast<std::int16_t>(m));
        for (std::int32_t own = 0; own <= 255; ++own) {
            // The defined value, mix * own + (1 - mix) * Sum / 16 in double, as a float.
            const __m128d mix_own = _mm_set1_pd(mix * own), rest = _mm_set1_pd(1.0 - mix);
            auto defined = [&](std::int32_t sum) {
                const __m128d blur = _mm_set_pd((sum + 1) / 16.0, sum / 16.0);
                return _mm_cvtpd_ps(_mm_add_pd(mix_own, _mm_mul_pd(rest, blur)));
            };
            for (std::int32_t sum0 = 0; sum0 <= max_sum; sum0 += 8) {
                const __m128 low = _mm_movelh_ps(defined(sum0), defined(sum0 + 2));
                const __m128 high = _mm_movelh_ps(defined(sum0 + 4), defined(sum0 + 6));
                const __m128i want = _mm_packs_epi32(_mm_cvtps_epi32(low), _mm_cvtps_epi32(high));

                const __m128i sums =
                    _mm_add_epi16(_mm_set1_epi16(static_cast<std::int16_t>(sum0)), lane);
                const __m128i d =
                    _mm_sub_epi16(_mm_set1_epi16(static_cast<std::int16_t>(16 * own)), sums);
                __m128i flags;
                const __m128i got = sse::blend8(sums, d, spread, flags);
                const int valid =
                    sum0 + 8 <= max_sum + 1 ? 0xFFFF : (1 << 2 * (max_sum + 1 - sum0)) - 1;
                const int agrees =
                    _mm_movemask_epi8(_mm_andnot_si128(flags, _mm_cmpeq_epi16(got, want)));
                const int flag_bits = _mm_movemask_epi8(flags) & valid;
                ASSERT_EQ((agrees | flag_bits) & valid, valid)
                    << "M " << m << " own " << own << " Sum from " << sum0;
                for (int k = 0; k < 8; ++k) {
                    if ((flag_bits >> 2 * k & 1) == 0) continue;
                    ++flagged;
                    alignas(16) std::int16_t wanted[8];
                    _mm_store_si128(reinterpret_cast<__m128i*>(wanted), want);
                    ASSERT_EQ(median_cut_blend(m, static_cast<unsigned>(own),
                                               static_cast<unsigned>(sum0 + k)),
                              wanted[k])
                        << "M " << m << " own " << own << " Sum " << sum0 + k;
                }
            }
        }
    }
    RecordProperty("flagged", std::to_string(flagged));
}

}  // namespace
}  // namespace orvessa::filters

#endif
