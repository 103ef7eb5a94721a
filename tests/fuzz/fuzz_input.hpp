// Reads a fuzzer's bytes as the values of one call, front to back; past the
// end every value reads as zero.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace orvessa::fuzz {

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) noexcept : data_(data), size_(size) {}

    template <typename T>
    T take() noexcept {
        T value{};
        const std::size_t n = sizeof(T) < size_ ? sizeof(T) : size_;
        std::memcpy(&value, data_, n);
        data_ += n;
        size_ -= n;
        return value;
    }

    // A 32-bit value that is mostly small, so that the fuzzer finds the
    // interesting sizes: a flag byte chooses a full 32-bit value or one byte.
    std::int32_t take_int32() noexcept {
        return (take<std::uint8_t>() & 1) != 0 ? take<std::int32_t>() : take<std::int8_t>();
    }

    const std::uint8_t* rest() const noexcept { return data_; }
    std::size_t rest_size() const noexcept { return size_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

}  // namespace orvessa::fuzz
