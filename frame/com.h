// The module's small COM toolkit: owning pointers and handles, early-return
// macros and a scope guard. Everything here is header-only and free of state.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <oleauto.h>

#include <utility>

// ---------------------------------------------------------------------------
// Early returns. Functions return an HRESULT and leave at the first failure.
#define RETURN_IF_FAILED(expr)                         \
    do {                                               \
        const HRESULT hr_ = (expr);                    \
        if (FAILED(hr_)) return hr_;                   \
    } while (0)
#define RETURN_HR_IF(hr, cond)                         \
    do {                                               \
        if (cond) return (hr);                         \
    } while (0)
#define RETURN_HR_IF_NULL(hr, ptr) RETURN_HR_IF(hr, (ptr) == nullptr)
#define RETURN_IF_NULL_ALLOC(ptr) RETURN_HR_IF(E_OUTOFMEMORY, (ptr) == nullptr)

namespace gn {

// Runs a callable when it goes out of scope, unless dismissed.
template <class F>
class scope_exit_t {
public:
    explicit scope_exit_t(F f) : f_(std::move(f)) {}
    scope_exit_t(const scope_exit_t&) = delete;
    scope_exit_t& operator=(const scope_exit_t&) = delete;
    ~scope_exit_t() { if (armed_) f_(); }
    void release() { armed_ = false; }  // never runs the callable
private:
    F f_;
    bool armed_ = true;
};
template <class F>
scope_exit_t<F> scope_exit(F f) { return scope_exit_t<F>(std::move(f)); }

// ---------------------------------------------------------------------------
// Owning interface pointer: holds one reference while set.
template <class T>
class com_ptr {
public:
    com_ptr() noexcept = default;
    com_ptr(std::nullptr_t) noexcept {}
    explicit com_ptr(T* p) noexcept : p_(p) { if (p_) p_->AddRef(); }  // adds a reference
    com_ptr(const com_ptr& o) noexcept : com_ptr(o.p_) {}
    com_ptr(com_ptr&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
    ~com_ptr() { reset(); }
    com_ptr& operator=(const com_ptr& o) noexcept { assign(o.p_); return *this; }
    com_ptr& operator=(com_ptr&& o) noexcept {
        if (this != &o) { reset(); p_ = o.p_; o.p_ = nullptr; }
        return *this;
    }
    com_ptr& operator=(std::nullptr_t) noexcept { reset(); return *this; }

    // Takes a new reference before releasing the old one.
    void assign(T* p) noexcept {
        if (p) p->AddRef();
        T* old = p_;
        p_ = p;
        if (old) old->Release();
    }
    void reset() noexcept { T* old = p_; p_ = nullptr; if (old) old->Release(); }
    void attach(T* p) noexcept { reset(); p_ = p; }  // takes ownership of p's reference
    T* detach() noexcept { T* p = p_; p_ = nullptr; return p; }  // gives the reference away
    T** put() noexcept { reset(); return &p_; }  // releases, then hands out the slot
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }
    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }

    // Copies out with a reference added; the target is set even when null.
    HRESULT copy_to(T** pp) const noexcept {
        if (!pp) return E_POINTER;
        *pp = p_;
        if (p_) p_->AddRef();
        return S_OK;
    }
    HRESULT copy_to(REFIID riid, void** ppv) const noexcept {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (!p_) return E_NOINTERFACE;
        return p_->QueryInterface(riid, ppv);
    }
    // Queries for another interface; null when unsupported.
    template <class U>
    com_ptr<U> try_query() const noexcept {
        com_ptr<U> r;
        if (p_) p_->QueryInterface(__uuidof(U), r.put_void());
        return r;
    }
    template <class U>
    HRESULT query_to(U** pp) const noexcept {
        if (!pp) return E_POINTER;
        *pp = nullptr;
        if (!p_) return E_NOINTERFACE;
        return p_->QueryInterface(__uuidof(U), reinterpret_cast<void**>(pp));
    }

private:
    T* p_ = nullptr;
};

// Queries any interface pointer; null when unsupported or when p is null.
template <class U, class T>
com_ptr<U> try_query(T* p) noexcept {
    com_ptr<U> r;
    if (p) p->QueryInterface(__uuidof(U), r.put_void());
    return r;
}

// ---------------------------------------------------------------------------
// Owner of a plain handle, closed by a given function. invalid is the empty value.
template <class H, class R, R(WINAPI* Close)(H), H Invalid = H()>
class unique_any {
public:
    unique_any() noexcept = default;
    explicit unique_any(H h) noexcept : h_(h) {}  // takes ownership
    unique_any(unique_any&& o) noexcept : h_(o.release()) {}
    unique_any& operator=(unique_any&& o) noexcept { if (this != &o) reset(o.release()); return *this; }
    unique_any(const unique_any&) = delete;
    unique_any& operator=(const unique_any&) = delete;
    ~unique_any() { reset(); }
    void reset(H h = Invalid) noexcept { if (h_ != Invalid) Close(h_); h_ = h; }
    H release() noexcept { H h = h_; h_ = Invalid; return h; }  // gives ownership away
    H get() const noexcept { return h_; }
    H* put() noexcept { reset(); return &h_; }  // closes, then hands out the slot
    explicit operator bool() const noexcept { return h_ != Invalid; }
private:
    H h_ = Invalid;
};

inline HANDLE invalid_handle_value() { return INVALID_HANDLE_VALUE; }

using unique_hkey = unique_any<HKEY, LONG, RegCloseKey>;
using unique_handle = unique_any<HANDLE, BOOL, CloseHandle>;
using unique_hmodule = unique_any<HMODULE, BOOL, FreeLibrary>;
using unique_haccel = unique_any<HACCEL, BOOL, DestroyAcceleratorTable>;
using unique_hwnd = unique_any<HWND, BOOL, DestroyWindow>;

// Owner of a file handle whose empty value is INVALID_HANDLE_VALUE.
class unique_file {
public:
    unique_file() noexcept = default;
    explicit unique_file(HANDLE h) noexcept : h_(h) {}
    unique_file(unique_file&& o) noexcept : h_(o.release()) {}
    unique_file(const unique_file&) = delete;
    unique_file& operator=(const unique_file&) = delete;
    ~unique_file() { reset(); }
    void reset(HANDLE h = INVALID_HANDLE_VALUE) noexcept {
        if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
        h_ = h;
    }
    HANDLE release() noexcept { HANDLE h = h_; h_ = INVALID_HANDLE_VALUE; return h; }
    HANDLE get() const noexcept { return h_; }
    explicit operator bool() const noexcept { return h_ != INVALID_HANDLE_VALUE; }
private:
    HANDLE h_ = INVALID_HANDLE_VALUE;
};

// ---------------------------------------------------------------------------
// Owner of a BSTR.
class unique_bstr {
public:
    unique_bstr() noexcept = default;
    explicit unique_bstr(BSTR b) noexcept : b_(b) {}  // takes ownership
    explicit unique_bstr(const wchar_t* s) noexcept : b_(s ? SysAllocString(s) : nullptr) {}
    unique_bstr(unique_bstr&& o) noexcept : b_(o.release()) {}
    unique_bstr& operator=(unique_bstr&& o) noexcept { if (this != &o) reset(o.release()); return *this; }
    unique_bstr(const unique_bstr&) = delete;
    unique_bstr& operator=(const unique_bstr&) = delete;
    ~unique_bstr() { reset(); }
    void reset(BSTR b = nullptr) noexcept { if (b_) SysFreeString(b_); b_ = b; }
    BSTR release() noexcept { BSTR b = b_; b_ = nullptr; return b; }
    BSTR get() const noexcept { return b_; }
    BSTR* put() noexcept { reset(); return &b_; }
    UINT length() const noexcept { return b_ ? SysStringLen(b_) : 0; }
    explicit operator bool() const noexcept { return b_ != nullptr; }
    // A new copy of the string (null stays null); the caller owns it.
    BSTR copy() const noexcept { return b_ ? SysAllocStringLen(b_, SysStringLen(b_)) : nullptr; }
private:
    BSTR b_ = nullptr;
};

// Owner of a VARIANT, cleared on destruction.
class unique_variant : public VARIANT {
public:
    unique_variant() noexcept { VariantInit(this); }
    ~unique_variant() { VariantClear(this); }
    unique_variant(const unique_variant&) = delete;
    unique_variant& operator=(const unique_variant&) = delete;
    void reset() noexcept { VariantClear(this); }
    VARIANT* put() noexcept { VariantClear(this); return this; }
};

// ---------------------------------------------------------------------------
// A critical section and its scoped holder.
class critical_section {
public:
    critical_section() noexcept { InitializeCriticalSection(&cs_); }
    ~critical_section() { DeleteCriticalSection(&cs_); }
    critical_section(const critical_section&) = delete;
    critical_section& operator=(const critical_section&) = delete;
    void enter() noexcept { EnterCriticalSection(&cs_); }
    void leave() noexcept { LeaveCriticalSection(&cs_); }
private:
    CRITICAL_SECTION cs_;
};

class cs_lock {
public:
    explicit cs_lock(critical_section& cs) noexcept : cs_(cs) { cs_.enter(); }
    ~cs_lock() { cs_.leave(); }
    cs_lock(const cs_lock&) = delete;
    cs_lock& operator=(const cs_lock&) = delete;
private:
    critical_section& cs_;
};

// Owner of task memory (CoTaskMemFree).
template <class T>
class unique_cotaskmem {
public:
    unique_cotaskmem() noexcept = default;
    ~unique_cotaskmem() { CoTaskMemFree(p_); }
    unique_cotaskmem(const unique_cotaskmem&) = delete;
    unique_cotaskmem& operator=(const unique_cotaskmem&) = delete;
    T* get() const noexcept { return p_; }
    T** put() noexcept { CoTaskMemFree(p_); p_ = nullptr; return &p_; }
private:
    T* p_ = nullptr;
};

}  // namespace gn
