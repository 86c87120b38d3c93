#include "frame/module.h"

#include "frame/class_factory.h"
#include "frame/com.h"

#include <new>

gn::module _Module;

namespace gn {

void module::init(HINSTANCE instance, class_row* table, const GUID& libid) noexcept {
    module_instance_ = resource_instance_ = typelib_instance_ = instance;
    class_table_ = table;
    create_wnd_list_ = nullptr;
    term_list_ = nullptr;
    lock_count_ = 0;
    libid_ = libid;
    initialised_ = true;
}

// Runs alone: at unload no other thread is inside the module, and at process
// exit the others are gone, perhaps holding a lock; none is taken here.
void module::term() noexcept {
    if (!initialised_) return;
    for (class_row* row = class_table_; row && row->clsid; ++row) {
        if (row->class_object) {
            row->class_object->Release();
            row->class_object = nullptr;
        }
    }
    while (term_list_) {
        term_record* r = term_list_;
        term_list_ = r->next;
        r->fn(r->arg);
        delete r;
    }
    while (create_wnd_list_) {
        create_wnd_record* r = create_wnd_list_;
        create_wnd_list_ = r->next;
        delete r;
    }
    initialised_ = false;
}

class_row* module::find_class(REFCLSID clsid) const noexcept {
    for (class_row* row = class_table_; row && row->clsid; ++row)
        if (row->class_object_creator && IsEqualCLSID(*row->clsid, clsid)) return row;
    return nullptr;
}

HRESULT module::get_class_object(REFCLSID clsid, REFIID riid, void** ppv) noexcept {
    RETURN_HR_IF(E_POINTER, !ppv);
    *ppv = nullptr;
    HRESULT hr = S_OK;
    if (class_row* row = find_class(clsid)) {
        com_ptr<IUnknown> object;
        {
            cs_lock hold(class_table_lock_);
            if (!row->class_object)
                hr = row->class_object_creator(row->instance_creator, IID_IUnknown,
                                               reinterpret_cast<void**>(&row->class_object));
            object.assign(row->class_object);
        }
        if (object) hr = object->QueryInterface(riid, ppv);
    }
    if (!*ppv && hr == S_OK) return CLASS_E_CLASSNOTAVAILABLE;
    return hr;
}

void module::add_create_wnd_data(void* object) noexcept {
    auto* r = new (std::nothrow) create_wnd_record{GetCurrentThreadId(), object, nullptr};
    if (!r) return;
    cs_lock hold(create_wnd_lock_);
    r->next = create_wnd_list_;
    create_wnd_list_ = r;
}

void* module::extract_create_wnd_data() noexcept {
    void* object = nullptr;
    const DWORD thread = GetCurrentThreadId();
    cs_lock hold(create_wnd_lock_);
    for (create_wnd_record** link = &create_wnd_list_; *link; link = &(*link)->next) {
        if ((*link)->thread_id == thread) {
            create_wnd_record* r = *link;
            *link = r->next;
            object = r->object;
            delete r;
            break;
        }
    }
    return object;
}

bool module::add_term_func(void (*fn)(void*), void* arg) noexcept {
    auto* r = new (std::nothrow) term_record{fn, arg, nullptr};
    if (!r) return false;
    cs_lock hold(term_lock_);
    r->next = term_list_;
    term_list_ = r;
    return true;
}

}  // namespace gn
