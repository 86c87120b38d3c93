// IDispatch of a dual interface, served from the registered type library.
#pragma once

#include "frame/com.h"

namespace gn {

// The type description of one dual interface, loaded from the registered
// library on first need and kept until the module terminates.
class typeinfo_cache {
public:
    explicit typeinfo_cache(const IID& iid) noexcept : iid_(iid) {}
    typeinfo_cache(const typeinfo_cache&) = delete;
    typeinfo_cache& operator=(const typeinfo_cache&) = delete;

    HRESULT get_type_info(LCID lcid, ITypeInfo** info) noexcept;
    HRESULT get_ids_of_names(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                             DISPID* ids) noexcept;
    HRESULT invoke(void* self, DISPID id, REFIID riid, LCID lcid, WORD flags,
                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                   UINT* arg_err) noexcept;

private:
    struct name_entry {
        BSTR name;
        UINT length;
        DISPID id;
    };
    // Loads on first need; hands out the pointer as read under the lock (no
    // reference added: it lives until the module terminates).
    HRESULT ensure_loaded(LCID lcid, ITypeInfo** loaded) noexcept;
    static void release(void* self) noexcept;

    const IID& iid_;
    ITypeInfo* info_ = nullptr;
    name_entry* names_ = nullptr;
    UINT name_count_ = 0;
};

// Implements the four IDispatch methods of Interface for a class that
// derives from it. Cache is a typeinfo_cache shared by every instance.
template <class Interface, typeinfo_cache& Cache>
class dispatch_impl : public Interface {
public:
    using interface_type = Interface;  // what an implements<> list answers for it

    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        RETURN_HR_IF(E_POINTER, !count);
        *count = 1;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID lcid, ITypeInfo** info) override {
        return Cache.get_type_info(lcid, info);
    }
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                               DISPID* ids) override {
        return Cache.get_ids_of_names(riid, names, count, lcid, ids);
    }
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* excep, UINT* arg_err) override {
        return Cache.invoke(static_cast<Interface*>(this), id, riid, lcid, flags, params,
                            result, excep, arg_err);
    }
};

}  // namespace gn
