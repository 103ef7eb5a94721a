// The picture loader: the OLE picture API on a file stream, its properties
// read through IDispatch by dispatch id (0 handle, 4 width, 5 height).
#include <windows.h>
#include <olectl.h>
#include <shlwapi.h>

#include <string>

#include "platform/win32/win32_raii.hpp"
#include "orvessa/error.hpp"
#include "platform/win32/win32_platform.hpp"

namespace orvessa::win32 {

namespace {

void check(HRESULT hr) {
    if (FAILED(hr)) throw Error::platform(static_cast<std::int32_t>(hr));
}

class OlePicture final : public LoadedPicture {
public:
    explicit OlePicture(ComPtr<IDispatch> picture) noexcept : picture_(std::move(picture)) {}
    std::int32_t handle() override { return property(DISPID_PICT_HANDLE); }
    std::int32_t himetric_width() override { return property(DISPID_PICT_WIDTH); }
    std::int32_t himetric_height() override { return property(DISPID_PICT_HEIGHT); }
    std::int32_t type() { return property(DISPID_PICT_TYPE); }

private:
    std::int32_t property(DISPID id) {
        DISPPARAMS none{};
        UniqueVariant value;
        check(picture_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                               value.get(), nullptr, nullptr));
        UniqueVariant number;
        check(VariantChangeType(number.get(), value.get(), 0, VT_I4));
        return V_I4(number.get());
    }

    ComPtr<IDispatch> picture_;
};

}  // namespace

std::unique_ptr<LoadedPicture> load_ole_picture(const std::u16string& file_name) {
    const std::wstring path(file_name.begin(), file_name.end());
    ComPtr<IStream> stream;
    check(SHCreateStreamOnFileW(path.c_str(), STGM_READ | STGM_SHARE_DENY_WRITE, stream.put()));
    ComPtr<IDispatch> picture;
    check(OleLoadPicture(stream.get(), 0, FALSE, IID_IDispatch, picture.put_void()));
    auto loaded = std::make_unique<OlePicture>(std::move(picture));
    // Wine answers an empty or too short stream with an empty picture where
    // Windows reports an invalid one; a file that holds no picture fails here.
    const std::int32_t type = loaded->type();
    if (type == PICTYPE_NONE || type == PICTYPE_UNINITIALIZED) {
        throw Error::platform(static_cast<std::int32_t>(CTL_E_INVALIDPICTURE), "Invalid picture");
    }
    return loaded;
}

}  // namespace orvessa::win32
