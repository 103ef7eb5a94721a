// Sets round-to-nearest for the length of a method call and restores the
// caller's floating-point environment afterwards, so that the float stores
// of the filters and conversions give the same bits whatever mode the caller
// left behind.
#pragma once

#include <cfenv>

namespace orvessa {

class NearestRoundingScope {
public:
    NearestRoundingScope() noexcept {
        std::fegetenv(&saved_);
        std::fesetround(FE_TONEAREST);
    }
    ~NearestRoundingScope() { std::fesetenv(&saved_); }
    NearestRoundingScope(const NearestRoundingScope&) = delete;
    NearestRoundingScope& operator=(const NearestRoundingScope&) = delete;

private:
    std::fenv_t saved_;
};

}  // namespace orvessa
