// A caller's SAFEARRAY seen by the core as a ByteArrayView: locked for the
// length of the call, never copied. An array whose elements are not bytes
// (a VARIANT or string array, say) is refused with the type-mismatch error
// before anything touches it, since the filters would overwrite its elements
// byte-wise.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include "platform/win32/win32_raii.hpp"
#include "orvessa/byte_array.hpp"

namespace orvessa::server {

class LockedByteArray {
public:
    // `array` may be null: the view then holds no array.
    explicit LockedByteArray(SAFEARRAY* array);
    ByteArrayView& view() noexcept { return view_; }

private:
    win32::ArrayLock lock_;
    ByteArrayView view_;
};

// Throws the type-mismatch error unless `array` holds plain bytes.
void require_byte_elements(SAFEARRAY* array);

}  // namespace orvessa::server
