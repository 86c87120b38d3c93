#include "frame/dispatch.h"

#include "frame/module.h"

#include <new>

namespace gn {

HRESULT typeinfo_cache::ensure_loaded(LCID lcid, ITypeInfo** loaded) noexcept {
    *loaded = nullptr;
    cs_lock hold(_Module.typeinfo_lock());
    HRESULT hr = S_OK;
    if (!info_) {
        com_ptr<ITypeLib> lib;
        hr = LoadRegTypeLib(_Module.libid(), 1, 0, lcid, lib.put());
        com_ptr<ITypeInfo> info;
        if (SUCCEEDED(hr)) hr = lib->GetTypeInfoOfGuid(iid_, info.put());
        if (SUCCEEDED(hr)) {
            // Name table: every member's name, its length and its identifier.
            TYPEATTR* attr = nullptr;
            if (SUCCEEDED(info->GetTypeAttr(&attr))) {
                names_ = new (std::nothrow) name_entry[attr->cFuncs ? attr->cFuncs : 1];
                for (UINT i = 0; names_ && i < attr->cFuncs; ++i) {
                    FUNCDESC* fd = nullptr;
                    if (FAILED(info->GetFuncDesc(i, &fd))) continue;
                    BSTR name = nullptr;
                    if (SUCCEEDED(info->GetDocumentation(fd->memid, &name, nullptr, nullptr,
                                                         nullptr)) && name) {
                        names_[name_count_++] = {name, SysStringLen(name), fd->memid};
                    }
                    info->ReleaseFuncDesc(fd);
                }
                info->ReleaseTypeAttr(attr);
            }
            info_ = info.detach();
            _Module.add_term_func(&typeinfo_cache::release, this);
        }
    }
    *loaded = info_;  // read under the lock; kept until termination
    return hr;
}

void typeinfo_cache::release(void* self) noexcept {
    auto* cache = static_cast<typeinfo_cache*>(self);
    for (UINT i = 0; i < cache->name_count_; ++i) SysFreeString(cache->names_[i].name);
    delete[] cache->names_;
    cache->names_ = nullptr;
    cache->name_count_ = 0;
    if (cache->info_) cache->info_->Release();
    cache->info_ = nullptr;
}

HRESULT typeinfo_cache::get_type_info(LCID lcid, ITypeInfo** info) noexcept {
    RETURN_HR_IF(E_POINTER, !info);
    *info = nullptr;
    ITypeInfo* loaded;
    RETURN_IF_FAILED(ensure_loaded(lcid, &loaded));
    loaded->AddRef();
    *info = loaded;
    return S_OK;
}

HRESULT typeinfo_cache::get_ids_of_names(REFIID, LPOLESTR* names, UINT count, LCID lcid,
                                         DISPID* ids) noexcept {
    ITypeInfo* loaded;
    RETURN_IF_FAILED(ensure_loaded(lcid, &loaded));
    RETURN_HR_IF(E_POINTER, !names || !ids);
    bool all_found = true;
    for (UINT n = 0; n < count; ++n) {
        const LPOLESTR want = names[n];
        const UINT len = want ? static_cast<UINT>(lstrlenW(want)) : 0;
        bool found = false;
        for (UINT i = 0; want && i < name_count_; ++i) {
            if (names_[i].length == len &&
                memcmp(names_[i].name, want, len * sizeof(WCHAR)) == 0) {
                ids[n] = names_[i].id;
                found = true;
                break;
            }
        }
        if (!found) { all_found = false; break; }
    }
    if (all_found) return S_OK;
    return loaded->GetIDsOfNames(names, count, ids);
}

HRESULT typeinfo_cache::invoke(void* self, DISPID id, REFIID riid, LCID lcid, WORD flags,
                               DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                               UINT* arg_err) noexcept {
    RETURN_HR_IF(DISP_E_UNKNOWNINTERFACE, !IsEqualIID(riid, IID_NULL));
    ITypeInfo* loaded;
    RETURN_IF_FAILED(ensure_loaded(lcid, &loaded));
    return loaded->Invoke(self, id, flags, params, result, excep, arg_err);
}

}  // namespace gn
