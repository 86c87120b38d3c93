// Object base of every component object: a reference count, a table-driven
// QueryInterface, aggregation and one module lock count for the object's life.
//
// A class lists its interfaces once, in search order:
//
//     class Foo : public gn::com_object<Foo>, public IFoo, public IBar {
//     public:
//         GN_COM_IUNKNOWN
//         static const gn::interface_entry* interfaces() {
//             static const gn::interface_entry table[] = {
//                 GN_INTERFACE(Foo, IFoo),                    // identity
//                 GN_INTERFACE_AS(Foo, IID_IDispatch, IFoo),  // alias
//                 GN_INTERFACE(Foo, IBar),
//                 {},
//             };
//             return table;
//         }
//     };
//
// and is made only through gn::create_instance<Foo>(outer, riid, ppv).
#pragma once

#include "frame/com.h"
#include "frame/module.h"

#include <cstddef>
#include <new>

namespace gn {

// One row of an interface table: the IID and the offset of the interface's
// vtable pointer inside the object. A row with a null iid ends the table.
struct interface_entry {
    const IID* iid;
    std::ptrdiff_t offset;
};

template <class Class, class Interface>
std::ptrdiff_t interface_offset() {
    // Any non-null address will do: only the difference matters.
    Class* base = reinterpret_cast<Class*>(0x10000);
    return reinterpret_cast<char*>(static_cast<Interface*>(base)) - reinterpret_cast<char*>(base);
}

#define GN_INTERFACE(Class, Interface) \
    { &__uuidof(Interface), ::gn::interface_offset<Class, Interface>() }
#define GN_INTERFACE_AS(Class, iid, Interface) \
    { &(iid), ::gn::interface_offset<Class, Interface>() }

// Walks a table for riid; the first row answers IID_IUnknown. Adds no reference.
inline void* find_interface(void* object, const interface_entry* table, REFIID riid) {
    if (IsEqualIID(riid, IID_IUnknown))
        return static_cast<char*>(object) + table[0].offset;
    for (const interface_entry* e = table; e->iid; ++e)
        if (IsEqualIID(riid, *e->iid))
            return static_cast<char*>(object) + e->offset;
    return nullptr;
}

// Every interface of a derived class forwards IUnknown to the controlling
// unknown: the outer object when aggregated, the object's own inner one otherwise.
#define GN_COM_IUNKNOWN                                                               \
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {                  \
        return controlling_unknown()->QueryInterface(riid, ppv);                     \
    }                                                                                \
    STDMETHODIMP_(ULONG) AddRef() override { return controlling_unknown()->AddRef(); } \
    STDMETHODIMP_(ULONG) Release() override { return controlling_unknown()->Release(); }

// Base of every component object. Derived provides interfaces().
template <class Derived>
class com_object {
public:
    com_object(const com_object&) = delete;
    com_object& operator=(const com_object&) = delete;

    // The IUnknown that owns the reference count.
    IUnknown* controlling_unknown() noexcept { return outer_ ? outer_ : &inner_; }
    // The object's own IUnknown (the aggregation's inner unknown).
    IUnknown* inner_unknown() noexcept { return &inner_; }
    bool aggregated() const noexcept { return outer_ != nullptr; }

protected:
    com_object() noexcept { _Module.Lock(); }
    virtual ~com_object() { _Module.Unlock(); }

private:
    template <class T, class... Args>
    friend HRESULT create_instance(IUnknown* outer, REFIID riid, void** ppv, Args&&... args);

    // Non-delegating IUnknown. Asked for IUnknown it answers itself when the
    // object is aggregated and the identity interface otherwise.
    struct inner_unknown_t final : IUnknown {
        com_object* owner;
        LONG refs = 0;
        STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
            if (!ppv) return E_POINTER;
            *ppv = nullptr;
            void* found;
            if (IsEqualIID(riid, IID_IUnknown) && owner->outer_)
                found = static_cast<IUnknown*>(this);
            else
                found = find_interface(static_cast<Derived*>(owner), Derived::interfaces(), riid);
            if (!found) return E_NOINTERFACE;
            static_cast<IUnknown*>(found)->AddRef();
            *ppv = found;
            return S_OK;
        }
        STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
        STDMETHODIMP_(ULONG) Release() override {
            const ULONG left = --refs;
            if (left == 0) {
                refs = 1;  // guards against re-entry while the destructor runs
                delete owner;
            }
            return left;
        }
    };

    inner_unknown_t inner_{};
    IUnknown* outer_ = nullptr;  // not a counted reference: the outer owns us

    void bind_inner() noexcept { inner_.owner = this; }
};

// The one way objects are made: constructs T (plain, or aggregated by outer),
// asks it for riid and destroys it again when that fails.
template <class T, class... Args>
HRESULT create_instance(IUnknown* outer, REFIID riid, void** ppv, Args&&... args) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer && !IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    T* object = new (std::nothrow) T(std::forward<Args>(args)...);
    if (!object) return E_OUTOFMEMORY;
    object->bind_inner();
    object->outer_ = outer;
    IUnknown* inner = object->inner_unknown();
    inner->AddRef();
    const HRESULT hr = inner->QueryInterface(riid, ppv);
    inner->Release();  // destroys the object when the query failed
    return hr;
}

}  // namespace gn
