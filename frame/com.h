// The module's small COM toolkit: owning pointers and handles, early-return
// macros and a scope guard. Everything here is header-only and free of state.
#pragma once

#include "frame/result.h"

#include <windows.h>
#include <ole2.h>
#include <oleauto.h>
#include <wininet.h>

#include <cstdio>
#include <type_traits>
#include <utility>

// A printf-style function: the compiler checks its callers' arguments against
// the format. Positions count from 1, a member function's object first; an
// args_at of 0 checks only the format (a function handing on a va_list or
// its own arguments).
#define GN_PRINTF_FORMAT(format_at, args_at) \
    __attribute__((format(__MINGW_PRINTF_FORMAT, format_at, args_at)))

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
class com_ptr;

// Queries any interface pointer; null when unsupported or when p is null.
template <class U, class T>
com_ptr<U> try_query(T* p) noexcept;

template <class T>
class com_ptr {
public:
    com_ptr() noexcept = default;
    com_ptr(std::nullptr_t) noexcept {}
    explicit com_ptr(T* p) noexcept : p_(p) { if (p_) p_->AddRef(); }  // adds a reference
    com_ptr(const com_ptr& o) noexcept : com_ptr(o.p_) {}
    com_ptr(com_ptr&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
    // From a pointer to a derived interface or class: no query needed.
    template <class U, class = std::enable_if_t<std::is_convertible<U*, T*>::value>>
    com_ptr(const com_ptr<U>& o) noexcept : com_ptr(static_cast<T*>(o.get())) {}
    template <class U, class = std::enable_if_t<std::is_convertible<U*, T*>::value>>
    com_ptr(com_ptr<U>&& o) noexcept : p_(o.detach()) {}
    ~com_ptr() { reset(); }
    // NOLINTNEXTLINE(bugprone-unhandled-self-assignment): assign() takes the new reference first
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

    // Another owner of the same object (a reference added).
    com_ptr copy() const noexcept { return *this; }
    // Copies out with a reference added; the target is set even when null.
    template <class U, class = std::enable_if_t<std::is_convertible<T*, U*>::value>>
    HRESULT copy_to(U** pp) const noexcept {
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
    // For an interface the contract guarantees: its absence is a failure, and
    // *result receives the code for the caller to return (E_NOINTERFACE when
    // this one is empty). The pointer is empty on failure.
    template <class U>
    com_ptr<U> query(HRESULT* result) const noexcept {
        com_ptr<U> r;
        *result = p_ ? p_->QueryInterface(__uuidof(U), r.put_void()) : E_NOINTERFACE;
        return r;
    }
    // For an interface the object may well lack: empty then, with no reason
    // to pass on; the caller takes another way.
    template <class U>
    com_ptr<U> try_query() const noexcept { return gn::try_query<U>(p_); }
    HRESULT query_to(REFIID riid, void** ppv) const noexcept { return copy_to(riid, ppv); }
    template <class U>
    HRESULT query_to(U** pp) const noexcept {
        return copy_to(__uuidof(U), reinterpret_cast<void**>(pp));
    }

private:
    T* p_ = nullptr;
};

template <class U, class T>
com_ptr<U> try_query(T* p) noexcept {
    com_ptr<U> r;
    if (p) p->QueryInterface(__uuidof(U), r.put_void());
    return r;
}

// Whether two interface pointers belong to one object (the same IUnknown).
inline bool same_object(IUnknown* a, IUnknown* b) noexcept {
    if (!a || !b) return a == b;
    const com_ptr<IUnknown> ua = try_query<IUnknown>(a), ub = try_query<IUnknown>(b);
    return ua && ua.get() == ub.get();
}

// ---------------------------------------------------------------------------
// Owners. Every owner has one shape: made empty or from a value it then owns,
// moved but never copied; get(), put() (frees, then hands out the slot),
// reset(value), release() (gives ownership away) and a test for emptiness.
// Traits name the empty value and the function that frees a value.
template <class H, class Traits>
class unique_owner {
public:
    unique_owner() noexcept = default;
    explicit unique_owner(H h) noexcept : h_(h) {}  // takes ownership
    unique_owner(unique_owner&& o) noexcept : h_(o.release()) {}
    unique_owner& operator=(unique_owner&& o) noexcept {
        if (this != &o) reset(o.release());
        return *this;
    }
    unique_owner(const unique_owner&) = delete;
    unique_owner& operator=(const unique_owner&) = delete;
    ~unique_owner() { reset(); }
    void reset(H h = Traits::invalid()) noexcept {
        if (h_ != Traits::invalid()) Traits::close(h_);
        h_ = h;
    }
    H release() noexcept { H h = h_; h_ = Traits::invalid(); return h; }
    H get() const noexcept { return h_; }
    H* put() noexcept { reset(); return &h_; }
    explicit operator bool() const noexcept { return h_ != Traits::invalid(); }
private:
    H h_ = Traits::invalid();
};

// Traits of a handle freed by one WINAPI function, empty at Invalid.
template <class H, class R, R(WINAPI* Close)(H), H Invalid>
struct winapi_close_traits {
    static constexpr H invalid() noexcept { return Invalid; }
    static void close(H h) noexcept { Close(h); }
};
template <class H, class R, R(WINAPI* Close)(H), H Invalid = H()>
using unique_any = unique_owner<H, winapi_close_traits<H, R, Close, Invalid>>;

using unique_hkey = unique_any<HKEY, LONG, RegCloseKey>;
using unique_handle = unique_any<HANDLE, BOOL, CloseHandle>;
using unique_hmodule = unique_any<HMODULE, BOOL, FreeLibrary>;

// A function exported by a loaded module, as the type its caller knows it by
// (through void*: FARPROC's own type differs from it in both flavors).
template <class Fn>
Fn proc_address(HMODULE module, const char* name) noexcept {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}
using unique_haccel = unique_any<HACCEL, BOOL, DestroyAcceleratorTable>;
using unique_hwnd = unique_any<HWND, BOOL, DestroyWindow>;
// An Internet session, connection or request handle.
using unique_hinternet = unique_any<HINTERNET, BOOL, InternetCloseHandle>;

// A font handle, deleted with its owner.
struct font_traits {
    static constexpr HFONT invalid() noexcept { return nullptr; }
    static void close(HFONT f) noexcept { DeleteObject(f); }
};
using unique_hfont = unique_owner<HFONT, font_traits>;

// A file handle: CreateFile's empty value is INVALID_HANDLE_VALUE, not null.
struct file_handle_traits {
    static HANDLE invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) noexcept { CloseHandle(h); }
};
using unique_file = unique_owner<HANDLE, file_handle_traits>;

// A C runtime stream.
struct stdio_file_traits {
    static constexpr FILE* invalid() noexcept { return nullptr; }
    static void close(FILE* f) noexcept { fclose(f); }
};
using unique_stdio_file = unique_owner<FILE*, stdio_file_traits>;

// Task memory (CoTaskMemFree).
template <class T>
struct cotaskmem_traits {
    static constexpr T* invalid() noexcept { return nullptr; }
    static void close(T* p) noexcept { CoTaskMemFree(p); }
};
template <class T>
using unique_cotaskmem = unique_owner<T*, cotaskmem_traits<T>>;

// A BSTR, with its length and a fresh copy.
struct bstr_traits {
    static constexpr BSTR invalid() noexcept { return nullptr; }
    static void close(BSTR b) noexcept { SysFreeString(b); }
};
class unique_bstr : public unique_owner<BSTR, bstr_traits> {
public:
    // Takes ownership of a BSTR.
    using unique_owner::unique_owner;
    // A new BSTR holding a copy of s (null stays null; empty when out of memory).
    static unique_bstr copy_of(const wchar_t* s) noexcept {
        return unique_bstr(s ? SysAllocString(s) : nullptr);
    }
    UINT length() const noexcept { return get() ? SysStringLen(get()) : 0; }
    // A new copy of the string (null stays null); the caller owns it.
    BSTR copy() const noexcept { return get() ? SysAllocStringLen(get(), length()) : nullptr; }
};

// A VARIANT, cleared on destruction. It is a VARIANT itself, so that it can
// be passed wherever one is read; release() moves the value out.
class unique_variant : public VARIANT {
public:
    unique_variant() noexcept { VariantInit(this); }
    ~unique_variant() { VariantClear(this); }
    unique_variant(const unique_variant&) = delete;
    unique_variant& operator=(const unique_variant&) = delete;
    void reset() noexcept { VariantClear(this); }
    VARIANT* get() noexcept { return this; }
    VARIANT* put() noexcept { VariantClear(this); return this; }
    // The value goes to out (not cleared first); this one is left empty.
    void release(VARIANT* out) noexcept {
        *out = *static_cast<VARIANT*>(this);
        VariantInit(this);
    }
    explicit operator bool() const noexcept { return vt != VT_EMPTY; }
};

// ---------------------------------------------------------------------------
// The module's one lock owner: a critical section, entered only through a
// scoped holder (cs_lock), so that every path out of a guarded block leaves it.
class critical_section {
public:
    critical_section() noexcept { InitializeCriticalSection(&cs_); }
    ~critical_section() { DeleteCriticalSection(&cs_); }
    critical_section(const critical_section&) = delete;
    critical_section& operator=(const critical_section&) = delete;
private:
    friend class cs_lock;
    CRITICAL_SECTION cs_;
};

class cs_lock {
public:
    explicit cs_lock(critical_section& cs) noexcept : cs_(&cs.cs_) { EnterCriticalSection(cs_); }
    // Holds cs when given; null holds nothing (where no other thread can run).
    explicit cs_lock(critical_section* cs) noexcept : cs_(cs ? &cs->cs_ : nullptr) {
        if (cs_) EnterCriticalSection(cs_);
    }
    ~cs_lock() { if (cs_) LeaveCriticalSection(cs_); }
    cs_lock(const cs_lock&) = delete;
    cs_lock& operator=(const cs_lock&) = delete;
private:
    CRITICAL_SECTION* cs_;
};

}  // namespace gn
