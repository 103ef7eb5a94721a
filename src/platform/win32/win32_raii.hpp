// One owner per Windows resource: a COM reference, a BSTR, a VARIANT, a
// SAFEARRAY lock, a GDI handle or a registry key is released by the
// destructor of exactly one of these, on every path.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <utility>

namespace orvessa::win32 {

// A counted COM reference.
template <class T>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ComPtr(const ComPtr& other) noexcept : p_(other.p_) { if (p_) p_->AddRef(); }
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept { std::swap(p_, other.p_); return *this; }
    ~ComPtr() { reset(); }

    // Takes over a reference the caller already holds.
    static ComPtr adopt(T* p) noexcept { ComPtr c; c.p_ = p; return c; }

    void reset() noexcept { if (T* p = std::exchange(p_, nullptr)) p->Release(); }
    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }
    // For out-parameters: releases what is held, then gives the slot.
    T** put() noexcept { reset(); return &p_; }
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }
    T* detach() noexcept { return std::exchange(p_, nullptr); }

private:
    T* p_ = nullptr;
};

// A handle with a release function; `Traits` gives the invalid value and the release.
template <class Traits>
class UniqueHandle {
public:
    using handle_type = typename Traits::handle_type;
    UniqueHandle() noexcept = default;
    explicit UniqueHandle(handle_type h) noexcept : h_(h) {}
    UniqueHandle(UniqueHandle&& other) noexcept : h_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    void reset(handle_type h = Traits::invalid()) noexcept {
        handle_type old = std::exchange(h_, h);
        if (old != Traits::invalid()) Traits::close(old);
    }
    handle_type release() noexcept { return std::exchange(h_, Traits::invalid()); }
    handle_type get() const noexcept { return h_; }
    handle_type* put() noexcept { reset(); return &h_; }
    explicit operator bool() const noexcept { return h_ != Traits::invalid(); }

private:
    handle_type h_ = Traits::invalid();
};

struct BstrTraits {
    using handle_type = BSTR;
    static BSTR invalid() noexcept { return nullptr; }
    static void close(BSTR b) noexcept { SysFreeString(b); }
};
struct DcTraits {
    using handle_type = HDC;
    static HDC invalid() noexcept { return nullptr; }
    static void close(HDC h) noexcept { DeleteDC(h); }
};
struct GdiObjectTraits {
    using handle_type = HGDIOBJ;
    static HGDIOBJ invalid() noexcept { return nullptr; }
    static void close(HGDIOBJ h) noexcept { DeleteObject(h); }
};
struct RegKeyTraits {
    using handle_type = HKEY;
    static HKEY invalid() noexcept { return nullptr; }
    static void close(HKEY h) noexcept { RegCloseKey(h); }
};
struct SafeArrayTraits {
    using handle_type = SAFEARRAY*;
    static SAFEARRAY* invalid() noexcept { return nullptr; }
    static void close(SAFEARRAY* a) noexcept { SafeArrayDestroy(a); }
};

using UniqueBstr = UniqueHandle<BstrTraits>;
using UniqueDc = UniqueHandle<DcTraits>;
using UniqueGdiObject = UniqueHandle<GdiObjectTraits>;
using UniqueRegKey = UniqueHandle<RegKeyTraits>;
using UniqueSafeArray = UniqueHandle<SafeArrayTraits>;

// A VARIANT cleared when it goes.
class UniqueVariant {
public:
    UniqueVariant() noexcept { VariantInit(&v_); }
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;
    ~UniqueVariant() { VariantClear(&v_); }
    VARIANT* get() noexcept { return &v_; }
    const VARIANT* get() const noexcept { return &v_; }
    VARIANT* operator->() noexcept { return &v_; }

private:
    VARIANT v_;
};

// Holds a SAFEARRAY's lock for a scope, so that its data pointer stays valid.
class ArrayLock {
public:
    explicit ArrayLock(SAFEARRAY* a) noexcept : a_(a) {
        if (a_ != nullptr && FAILED(::SafeArrayLock(a_))) {
            a_ = nullptr;
            failed_ = true;
        }
    }
    ArrayLock(const ArrayLock&) = delete;
    ArrayLock& operator=(const ArrayLock&) = delete;
    ~ArrayLock() { if (a_ != nullptr) ::SafeArrayUnlock(a_); }
    bool failed() const noexcept { return failed_; }

private:
    SAFEARRAY* a_;
    bool failed_ = false;
};

}  // namespace orvessa::win32
