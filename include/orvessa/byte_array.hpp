// A caller's byte array as the methods see it: it may hold no array, it has
// a number of dimensions, a lowest index (any 32-bit value) and a count of
// elements. The view never owns or copies the bytes; the COM layer builds it
// over a locked SAFEARRAY, the CLI and tests over their own storage.
#pragma once

#include <cstdint>

#include "orvessa/error.hpp"

namespace orvessa {

class ByteArrayView {
public:
    // An array variable that holds no array.
    ByteArrayView() = default;

    // `storage` is element 0 of the storage, which has index `lower_bound`.
    // `dimensions` other than 1 makes every access fail, as it must.
    ByteArrayView(std::uint8_t* storage, std::uint32_t count, std::int32_t lower_bound,
                  std::uint32_t dimensions = 1) noexcept
        : storage_(storage), count_(count), lower_bound_(lower_bound), dimensions_(dimensions) {}

    bool holds_array() const noexcept { return dimensions_ != 0; }
    std::uint32_t dimensions() const noexcept { return dimensions_; }
    std::int32_t lower_bound() const noexcept { return lower_bound_; }
    std::uint32_t count() const noexcept { return count_; }
    // Highest index, which may lie past the 32-bit range; lower_bound - 1 when empty.
    std::int64_t upper_bound() const noexcept {
        return static_cast<std::int64_t>(lower_bound_) + count_ - 1;
    }

    // The access rule: one dimension and lower_bound <= index <= upper_bound.
    bool accessible(std::int32_t index) const noexcept {
        return dimensions_ == 1 && index >= lower_bound_ && index <= upper_bound();
    }

    std::uint8_t& at(std::int32_t index) {
        if (!accessible(index)) throw Error::subscript_out_of_range();
        return storage_[static_cast<std::int64_t>(index) - lower_bound_];
    }

    // No check: only for indices already proven accessible.
    std::uint8_t* unchecked(std::int32_t index) const noexcept {
        return storage_ + (static_cast<std::int64_t>(index) - lower_bound_);
    }

private:
    std::uint8_t* storage_ = nullptr;
    std::uint32_t count_ = 0;
    std::int32_t lower_bound_ = 0;
    std::uint32_t dimensions_ = 0;
};

}  // namespace orvessa
