// The module object: lock count, class table, the module's own handles and the
// process-wide locks and lists that the component objects share.
#pragma once

#include "frame/com.h"

#include <windows.h>
#include <ole2.h>

namespace gn {

using creator_fn = HRESULT (*)(IUnknown* outer, REFIID riid, void** ppv);
using class_object_creator_fn = HRESULT (*)(creator_fn instance_creator, REFIID riid, void** ppv);
using registrar_fn = HRESULT (*)(bool do_register);

// One creatable class. The scan of the table stops at a row whose clsid is null.
struct class_row {
    const CLSID* clsid;
    registrar_fn update_registry;    // runs the class's registry script
    class_object_creator_fn class_object_creator;
    creator_fn instance_creator;
    IUnknown* class_object;          // created on first demand, kept until termination;
                                     // read and written only under the class-table lock
    const GUID* const* categories;   // null-terminated list of implemented categories
};

class module {
public:
    // Process attach: the module's handle and its class table.
    void init(HINSTANCE instance, class_row* table, const GUID& libid) noexcept;
    // Process detach: releases the cached class objects, runs the termination callbacks.
    void term() noexcept;

    LONG lock() noexcept { return InterlockedIncrement(&lock_count_); }
    LONG unlock() noexcept { return InterlockedDecrement(&lock_count_); }
    LONG lock_count() const noexcept { return lock_count_; }

    HINSTANCE module_instance() const noexcept { return module_instance_; }
    HINSTANCE resource_instance() const noexcept { return resource_instance_; }
    HINSTANCE typelib_instance() const noexcept { return typelib_instance_; }
    class_row* class_table() const noexcept { return class_table_; }
    const GUID& libid() const noexcept { return libid_; }

    // The row for a class id (first match), or null.
    class_row* find_class(REFCLSID clsid) const noexcept;
    // DllGetClassObject's work: the cached class object of the row, queried for riid.
    HRESULT get_class_object(REFCLSID clsid, REFIID riid, void** ppv) noexcept;

    // Window-creation hand-over: the object that is about to create a window
    // on this thread, picked up by the first message of that window.
    void add_create_wnd_data(void* object) noexcept;
    void* extract_create_wnd_data() noexcept;

    // Runs once at termination, in reverse order of registration.
    bool add_term_func(void (*fn)(void*), void* arg) noexcept;

    critical_section& typeinfo_lock() noexcept { return typeinfo_lock_; }

private:
    struct create_wnd_record {
        DWORD thread_id;
        void* object;
        create_wnd_record* next;
    };
    struct term_record {
        void (*fn)(void*);
        void* arg;
        term_record* next;
    };

    volatile LONG lock_count_ = 0;
    HINSTANCE module_instance_ = nullptr;
    HINSTANCE resource_instance_ = nullptr;
    HINSTANCE typelib_instance_ = nullptr;
    class_row* class_table_ = nullptr;
    critical_section typeinfo_lock_;
    critical_section create_wnd_lock_;
    critical_section class_table_lock_;
    critical_section term_lock_;
    create_wnd_record* create_wnd_list_ = nullptr;
    term_record* term_list_ = nullptr;
    GUID libid_{};
    bool initialised_ = false;
};

}  // namespace gn

extern gn::module _Module;
