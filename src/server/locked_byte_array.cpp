#include "server/locked_byte_array.hpp"

#include "orvessa/error.hpp"

namespace orvessa::server {

void require_byte_elements(SAFEARRAY* array) {
    constexpr USHORT typed_elements =
        FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH | FADF_VARIANT | FADF_RECORD;
    if (array->cbElements != 1 || (array->fFeatures & typed_elements) != 0) {
        throw Error::type_mismatch();
    }
    VARTYPE type = VT_EMPTY;
    if ((array->fFeatures & FADF_HAVEVARTYPE) != 0 &&
        (FAILED(SafeArrayGetVartype(array, &type)) || type != VT_UI1)) {
        throw Error::type_mismatch();
    }
}

namespace {
SAFEARRAY* checked(SAFEARRAY* array) {
    if (array != nullptr) require_byte_elements(array);
    return array;
}
}  // namespace

LockedByteArray::LockedByteArray(SAFEARRAY* array) : lock_(checked(array)) {
    if (array == nullptr) return;
    if (lock_.failed()) throw Error::platform(static_cast<std::int32_t>(E_UNEXPECTED), "The array cannot be locked");
    if (array->cDims != 1) {
        view_ = ByteArrayView(nullptr, 0, 0, array->cDims);
        return;
    }
    const SAFEARRAYBOUND& bound = array->rgsabound[0];
    view_ = ByteArrayView(static_cast<std::uint8_t*>(array->pvData), bound.cElements, bound.lLbound);
}

}  // namespace orvessa::server
