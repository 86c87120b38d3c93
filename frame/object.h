// Object base of every component object: a reference count, a QueryInterface
// generated from the class's own base list, optional aggregation and a lock
// policy that says whose lock count an object holds for its life.
//
// A class names its interfaces once, as the base list, in search order. The
// first interface is the identity (IUnknown); gn::alias<A, I> answers A's IID
// with I's vtable (I derives from A and is in the list); gn::aggregatable lets
// the object be made inside an outer one; a lock policy may be named anywhere.
//
//     // A module object: one module lock per object (the default).
//     class Foo final : public gn::implements<Foo, gn::aggregatable,
//                                             gn::dispatch_impl<IFoo, foo_typeinfo>,
//                                             gn::alias<IDispatch, IFoo>, IBar> {...};
//     HRESULT Foo::create(IUnknown* outer, REFIID riid, void** ppv) {
//         return gn::create_instance<Foo>(outer, riid, ppv);
//     }
//
//     // A test double or an exe's object: no lock count at all.
//     class FakeSite final : public gn::implements<FakeSite, gn::no_lock, IOleClientSite> {...};
//     gn::com_ptr<FakeSite> site = gn::make<FakeSite>(ctor args);  // empty: out of memory
//
//     // An object of another DLL: its own count (any type with static lock/unlock).
//     struct dll_lock : gn::lock_policy { static void lock() noexcept; static void unlock() noexcept; };
//     class Ctl final : public gn::implements<Ctl, dll_lock, gn::aggregatable, IOleObject> {...};
//
// QueryInterface, AddRef and Release come from the base; a class overrides
// QueryInterface only to change the search (see CtlHost6x). Objects are made
// only through gn::create_instance (HRESULT, plain or aggregated) or gn::make.
#pragma once

#include "frame/com.h"
#include "frame/module.h"

#include <cstddef>
#include <new>
#include <type_traits>
#include <utility>

namespace gn {

// ---------------------------------------------------------------------------
// Entries of an implements<> list besides the interfaces themselves.

// Answers the IID of Alias with the vtable of Interface (listed separately).
template <class Alias, class Interface>
struct alias {};

// The object may be made as the inner object of an aggregate.
struct aggregatable {};

// Base of every lock policy: a type with static lock() and unlock().
struct lock_policy {};

// One lock on the module (_Module) per object: the module stays loaded while
// any object lives. The default.
struct module_lock : lock_policy {
    static void lock() noexcept { _Module.lock(); }
    static void unlock() noexcept { _Module.unlock(); }
};

// No lock count: objects of an exe, of a test, or owned by someone who holds one.
struct no_lock : lock_policy {
    static void lock() noexcept {}
    static void unlock() noexcept {}
};

template <class T, class... Args>
HRESULT create_instance(IUnknown* outer, REFIID riid, void** ppv, Args&&... args);

namespace detail {

// The interface an entry implements: itself, or what an implementation
// helper (dispatch_impl) names as its interface_type.
template <class E, class = void>
struct interface_of { using type = E; };
template <class E>
struct interface_of<E, std::void_t<typename E::interface_type>> {
    using type = typename E::interface_type;
};
template <class E>
using interface_of_t = typename interface_of<E>::type;

template <class E>
constexpr bool is_interface = std::is_base_of<IUnknown, E>::value;

// What an entry contributes to the base list: interfaces are inherited,
// markers leave an empty base of their own.
template <class E>
struct marker {};
template <class E>
using base_for = std::conditional_t<is_interface<E>, E, marker<E>>;

// The first lock policy of a list, or module_lock.
template <class... E>
struct lock_of { using type = module_lock; };
template <class E, class... R>
struct lock_of<E, R...> {
    using type = std::conditional_t<std::is_base_of<lock_policy, E>::value, E,
                                    typename lock_of<R...>::type>;
};

// The first interface of a list: the identity.
template <class... E>
struct first_interface;
template <class E, class... R>
struct first_interface<E, R...> {
    using type = std::conditional_t<is_interface<E>, E, typename first_interface<R...>::type>;
};
template <>
struct first_interface<> { using type = void; };

// One entry's answer to riid, or null. Self derives from every listed interface.
template <class E>
struct entry {
    template <class Self>
    static void* find(Self* self, REFIID riid) noexcept {
        if constexpr (is_interface<E>) {
            using I = interface_of_t<E>;
            if (IsEqualIID(riid, __uuidof(I))) return static_cast<I*>(self);
        }
        return nullptr;
    }
};
template <class Alias, class Interface>
struct entry<alias<Alias, Interface>> {
    template <class Self>
    static void* find(Self* self, REFIID riid) noexcept {
        if (!IsEqualIID(riid, __uuidof(Alias))) return nullptr;
        return static_cast<Alias*>(static_cast<interface_of_t<Interface>*>(self));
    }
};

// Reference count, inner and controlling unknown, and the lock policy of the
// base. Self provides find(riid): the interface pointer
// for riid without a reference added, or null.
template <class Self, class Lock>
class object_root {
public:
    object_root(const object_root&) = delete;
    object_root& operator=(const object_root&) = delete;

    // The IUnknown that owns the reference count.
    IUnknown* controlling_unknown() noexcept { return outer_ ? outer_ : &inner_; }
    // The object's own IUnknown (the aggregation's inner unknown).
    IUnknown* inner_unknown() noexcept { return &inner_; }
    bool aggregated() const noexcept { return outer_ != nullptr; }

protected:
    object_root() noexcept { inner_.owner = this; Lock::lock(); }
    virtual ~object_root() { Lock::unlock(); }

private:
    template <class T, class... Args>
    friend HRESULT gn::create_instance(IUnknown* outer, REFIID riid, void** ppv, Args&&... args);

    // Non-delegating IUnknown. Asked for IUnknown it answers itself when the
    // object is aggregated and the identity interface otherwise.
    struct inner_unknown_t final : IUnknown {
        object_root* owner = nullptr;
        LONG refs = 0;
        STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
            RETURN_HR_IF(E_POINTER, !ppv);
            *ppv = nullptr;
            void* found = IsEqualIID(riid, IID_IUnknown) && owner->outer_
                              ? static_cast<IUnknown*>(this)
                              : static_cast<Self*>(owner)->find(riid);
            if (!found) return E_NOINTERFACE;  // an answer, not a failure: not reported
            static_cast<IUnknown*>(found)->AddRef();
            *ppv = found;
            return S_OK;
        }
        STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs); }
        STDMETHODIMP_(ULONG) Release() override {
            const LONG left = InterlockedDecrement(&refs);
            if (left == 0) {
                refs = 1;  // guards against re-entry while the destructor runs
                delete owner;
            }
            return left;
        }
    };

    inner_unknown_t inner_{};
    IUnknown* outer_ = nullptr;  // not a counted reference: the outer owns us
};

}  // namespace detail

// Every interface of a derived class forwards IUnknown to the controlling
// unknown: the outer object when aggregated, the object's own inner one otherwise.
#define GN_COM_IUNKNOWN                                                               \
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {                  \
        return this->controlling_unknown()->QueryInterface(riid, ppv);               \
    }                                                                                \
    STDMETHODIMP_(ULONG) AddRef() override { return this->controlling_unknown()->AddRef(); } \
    STDMETHODIMP_(ULONG) Release() override {                                        \
        return this->controlling_unknown()->Release();                               \
    }

// The base. Entries: interfaces (or implementations naming interface_type),
// alias<> rows, aggregatable, and at most one lock policy.
template <class Derived, class... Entries>
class implements : public detail::object_root<implements<Derived, Entries...>,
                                              typename detail::lock_of<Entries...>::type>,
                   public detail::base_for<Entries>... {
    using identity = detail::interface_of_t<typename detail::first_interface<Entries...>::type>;
    static_assert(!std::is_void<identity>::value, "implements<> lists no interface");

public:
    static constexpr bool allows_aggregation =
        (std::is_same<Entries, aggregatable>::value || ...);

    GN_COM_IUNKNOWN

    // The listed interface for riid in list order, IUnknown being the
    // identity; no reference added.
    void* find(REFIID riid) noexcept {
        if (IsEqualIID(riid, IID_IUnknown))
            return static_cast<IUnknown*>(static_cast<identity*>(this));
        void* found = nullptr;
        ((found = found ? found : detail::entry<Entries>::find(this, riid)), ...);
        return found;
    }

protected:
    implements() noexcept = default;
    ~implements() override = default;
};

// ---------------------------------------------------------------------------
// The one way objects are made: constructs T (plain, or aggregated by outer
// when T allows it), asks it for riid and destroys it again when that fails.
template <class T, class... Args>
HRESULT create_instance(IUnknown* outer, REFIID riid, void** ppv, Args&&... args) {
    RETURN_HR_IF(E_POINTER, !ppv);
    *ppv = nullptr;
    RETURN_HR_IF(CLASS_E_NOAGGREGATION,
                 outer && (!T::allows_aggregation || !IsEqualIID(riid, IID_IUnknown)));
    T* object = new (std::nothrow) T(std::forward<Args>(args)...);
    RETURN_IF_NULL_ALLOC(object);
    object->outer_ = outer;
    IUnknown* inner = object->inner_unknown();
    inner->AddRef();
    const HRESULT hr = inner->QueryInterface(riid, ppv);
    inner->Release();  // destroys the object when the query failed
    return hr;
}

// A plain (not aggregated) T holding the one reference; empty when out of memory.
template <class T, class... Args>
com_ptr<T> make(Args&&... args) {
    com_ptr<T> result;
    T* object = new (std::nothrow) T(std::forward<Args>(args)...);
    if (object) result.assign(object);
    return result;
}

}  // namespace gn
