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

namespace {

// Whether an argument can be given to a parameter of type desc the way the
// type library's Invoke gives it: an [out] pointer only by reference to its
// own type or to an empty VARIANT (or one of that type), anything else
// through a conversion to its type.
bool argument_fits(const TYPEDESC& desc, VARIANT* arg) noexcept {
    if (desc.vt == VT_VARIANT) return true;
    if (desc.vt == VT_PTR) {
        const VARTYPE target = desc.lptdesc ? desc.lptdesc->vt : static_cast<VARTYPE>(VT_EMPTY);
        if (V_VT(arg) == (VT_BYREF | target)) return true;
        // A VARIANT to receive the value: empty, or holding the type already.
        const VARIANT* inner = V_VT(arg) == (VT_BYREF | VT_VARIANT) ? V_VARIANTREF(arg) : nullptr;
        return inner && (V_VT(inner) == VT_EMPTY || V_VT(inner) == target);
    }
    if (desc.vt == VT_USERDEFINED) return true;  // left to the type library
    VARIANT converted;
    VariantInit(&converted);
    const bool fits = SUCCEEDED(VariantChangeType(&converted, arg, 0, desc.vt));
    VariantClear(&converted);
    return fits;
}

// S_OK when the arguments of params suit the member that flags call by id, else
// the failure the type library's Invoke would report. That Invoke converts the
// arguments one by one and finds a wrong count or type only afterwards; it
// then fails without releasing what it has converted (an object handed in as
// VT_DISPATCH for an IUnknown* keeps a reference for ever). So a call it would
// refuse is refused here, before anything is converted.
HRESULT check_arguments(ITypeInfo* info, DISPID id, WORD flags, DISPPARAMS* params,
                        UINT* arg_err) noexcept {
    TYPEATTR* attr = nullptr;
    if (FAILED(info->GetTypeAttr(&attr))) return S_OK;
    HRESULT hr = S_OK;
    for (UINT i = 0; i < attr->cFuncs; ++i) {
        FUNCDESC* desc = nullptr;
        if (FAILED(info->GetFuncDesc(i, &desc))) continue;
        const bool found = desc->memid == id && (desc->invkind & flags);
        if (found) {
            const UINT given = params ? params->cArgs : 0;
            const UINT positional = params && params->cNamedArgs <= given ? given - params->cNamedArgs : 0;
            UINT required = 0;
            for (SHORT p = 0; p < desc->cParams; ++p) {
                const USHORT f = desc->lprgelemdescParam[p].paramdesc.wParamFlags;
                if (!(f & (PARAMFLAG_FOPT | PARAMFLAG_FRETVAL | PARAMFLAG_FHASDEFAULT | PARAMFLAG_FLCID)))
                    ++required;
            }
            const bool varargs = desc->cParamsOpt == -1;
            if (given < required || (!varargs && given > static_cast<UINT>(desc->cParams)))
                hr = DISP_E_BADPARAMCOUNT;
            // Positional arguments lie in reverse order: the first parameter's last.
            for (UINT p = 0; hr == S_OK && !varargs && p < positional && p < static_cast<UINT>(desc->cParams); ++p) {
                if (!argument_fits(desc->lprgelemdescParam[p].tdesc, &params->rgvarg[given - 1 - p])) {
                    hr = DISP_E_TYPEMISMATCH;
                    if (arg_err) *arg_err = given - 1 - p;
                }
            }
        }
        info->ReleaseFuncDesc(desc);
        if (found) break;
    }
    info->ReleaseTypeAttr(attr);
    return hr;
}

}  // namespace

HRESULT typeinfo_cache::invoke(void* self, DISPID id, REFIID riid, LCID lcid, WORD flags,
                               DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                               UINT* arg_err) noexcept {
    RETURN_HR_IF(DISP_E_UNKNOWNINTERFACE, !IsEqualIID(riid, IID_NULL));
    ITypeInfo* loaded;
    RETURN_IF_FAILED(ensure_loaded(lcid, &loaded));
    RETURN_IF_FAILED(check_arguments(loaded, id, flags, params, arg_err));
    return loaded->Invoke(self, id, flags, params, result, excep, arg_err);
}

}  // namespace gn
