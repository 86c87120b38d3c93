// Window and dialog objects: an object that owns a window's messages.
//
// The object is handed to its window through the module's window-creation
// records: the creator registers it, and the window's first message picks it
// up on the same thread. Each class keeps its windows in a table of its own
// (window_objects), so one window can be served by two classes in turn (a
// window created by one object and later taken over, by subclassing, by
// another). The table lives in the process: a window property, asked on every
// message, would be a call to the window server, under Wine a round trip to
// another process. Only a window the table had no room for carries its
// object in a property of the class's name.
//
//     class Foo : public gn::window_impl<Foo> {
//     public:
//         static const char* window_property() { return "GN.Foo"; }
//         LRESULT on_message(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
//         void on_final_message() {}   // after WM_NCDESTROY; the window is gone
//     };
//
// Window classes: every class of the project is registered by
// register_window_class (the arrow cursor, the window colour as background);
// a module's own class is a module_window_class, registered on first use and
// removed when the module terminates.
#pragma once

#include "frame/module.h"

#include <windows.h>

#include <new>
#include <type_traits>
#include <vector>

namespace gn {

// The ANSI and the wide window-class calls, chosen by character type.
template <class Char>
using window_class_description =
    std::conditional_t<std::is_same<Char, wchar_t>::value, WNDCLASSEXW, WNDCLASSEXA>;
inline ATOM add_window_class(const WNDCLASSEXA& wc) noexcept { return RegisterClassExA(&wc); }
inline ATOM add_window_class(const WNDCLASSEXW& wc) noexcept { return RegisterClassExW(&wc); }
inline void remove_window_class(const char* name, HINSTANCE i) noexcept { UnregisterClassA(name, i); }
inline void remove_window_class(const wchar_t* name, HINSTANCE i) noexcept { UnregisterClassW(name, i); }

// Registers the window class name of instance. True when it is there after
// the call, also when it was already (registered earlier or by another thread).
template <class Char>
bool register_window_class(HINSTANCE instance, const Char* name, WNDPROC proc, UINT style = 0,
                           HICON icon = nullptr) noexcept {
    window_class_description<Char> wc{};
    wc.cbSize = sizeof wc;
    wc.style = style;
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.hIcon = icon;
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = name;
    return add_window_class(wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

// A window class of the module: registered by the first ensure() (on any
// thread; a failure is tried again by the next one) and removed when the
// module terminates. name must stay valid as long as the object.
template <class Char>
class module_window_class {
public:
    module_window_class(const Char* name, WNDPROC proc, UINT style = 0) noexcept
        : name_(name), proc_(proc), style_(style) {}
    module_window_class(const module_window_class&) = delete;
    module_window_class& operator=(const module_window_class&) = delete;

    bool ensure() noexcept {
        cs_lock hold(lock_);
        if (registered_) return true;
        registered_ = register_window_class(_Module.module_instance(), name_, proc_, style_);
        if (registered_) _Module.add_term_func(&remove, this);
        return registered_;
    }
    const Char* name() const noexcept { return name_; }

private:
    static void remove(void* self) noexcept {
        auto* c = static_cast<module_window_class*>(self);
        remove_window_class(c->name_, _Module.module_instance());
        c->registered_ = false;
    }

    critical_section lock_;
    const Char* const name_;
    const WNDPROC proc_;
    const UINT style_;
    bool registered_ = false;
};

// The windows that objects of one class serve, in this process.
class window_objects {
public:
    // Binds hwnd to object, replacing what an earlier window of that handle
    // left. False when out of memory.
    bool add(HWND hwnd, void* object) noexcept {
        cs_lock hold(lock_);
        for (row& r : rows_)
            if (r.hwnd == hwnd) {
                r.object = object;
                return true;
            }
        try {
            rows_.push_back(row{hwnd, object});
            return true;
        } catch (const std::bad_alloc&) {
            return false;
        }
    }
    void remove(HWND hwnd) noexcept {
        cs_lock hold(lock_);
        for (row& r : rows_)
            if (r.hwnd == hwnd) {
                r = rows_.back();
                rows_.pop_back();
                return;
            }
    }
    // The object bound to hwnd; null when there is none.
    void* find(HWND hwnd) const noexcept {
        cs_lock hold(lock_);
        for (const row& r : rows_)
            if (r.hwnd == hwnd) return r.object;
        return nullptr;
    }

private:
    struct row {
        HWND hwnd;
        void* object;
    };
    mutable critical_section lock_;
    std::vector<row> rows_;
};

template <class Derived>
class window_impl {
public:
    HWND hwnd() const noexcept { return hwnd_; }

    // The window procedure of a class registered for Derived: the first
    // message of a new window binds it to the object registered beforehand.
    static LRESULT CALLBACK start_window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        auto* self = static_cast<Derived*>(_Module.extract_create_wnd_data());
        if (!self) return DefWindowProcA(hwnd, msg, wp, lp);
        self->attach_window(hwnd, nullptr);
        SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&window_proc));
        return window_proc(hwnd, msg, wp, lp);
    }

    // Takes over an existing window: its messages come to Derived first and
    // the previous procedure gets what Derived leaves. False if hwnd is not a window.
    bool subclass_window(HWND hwnd) noexcept {
        if (!IsWindow(hwnd) || hwnd_) return false;
        auto previous = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&window_proc)));
        if (!previous) return false;
        attach_window(hwnd, previous);
        return true;
    }

    // Gives the window back to its previous procedure.
    void unsubclass_window() noexcept {
        if (!hwnd_ || !previous_) return;
        SetWindowLongPtrA(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous_));
        detach_window();
    }

    // What Derived does not handle: the previous procedure, or the default one.
    LRESULT default_proc(UINT msg, WPARAM wp, LPARAM lp) noexcept {
        if (previous_) return CallWindowProcA(previous_, hwnd_, msg, wp, lp);
        return DefWindowProcA(hwnd_, msg, wp, lp);
    }

    WNDPROC previous_proc() const noexcept { return previous_; }

    static Derived* from_window(HWND hwnd) noexcept {
        if (void* object = objects().find(hwnd)) return static_cast<Derived*>(object);
        return static_cast<Derived*>(GetPropA(hwnd, Derived::window_property()));
    }

protected:
    window_impl() noexcept = default;
    ~window_impl() = default;
    window_impl(const window_impl&) = delete;
    window_impl& operator=(const window_impl&) = delete;

    // The handle itself, for a part of Derived that reads it by name.
    const HWND& window_handle() const noexcept { return hwnd_; }

    void on_final_message() {}

private:
    // The windows of Derived's objects.
    static window_objects& objects() noexcept {
        static window_objects table;
        return table;
    }
    void attach_window(HWND hwnd, WNDPROC previous) noexcept {
        hwnd_ = hwnd;
        previous_ = previous;
        by_property_ = !objects().add(hwnd, static_cast<Derived*>(this)) &&
                       SetPropA(hwnd, Derived::window_property(), static_cast<Derived*>(this));
    }
    void detach_window() noexcept {
        if (hwnd_) objects().remove(hwnd_);
        if (hwnd_ && by_property_) RemovePropA(hwnd_, Derived::window_property());
        hwnd_ = nullptr;
        previous_ = nullptr;
        by_property_ = false;
    }

    static LRESULT CALLBACK window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        Derived* self = from_window(hwnd);
        if (!self) return DefWindowProcA(hwnd, msg, wp, lp);
        bool handled = false;
        LRESULT result = self->on_message(msg, wp, lp, handled);
        if (!handled) result = self->default_proc(msg, wp, lp);
        if (msg == WM_NCDESTROY) {
            // The window is gone: restore the previous procedure and let go.
            if (self->previous_ &&
                reinterpret_cast<WNDPROC>(GetWindowLongPtrA(hwnd, GWLP_WNDPROC)) == &window_proc)
                SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(self->previous_));
            self->detach_window();
            self->on_final_message();
        }
        return result;
    }

    HWND hwnd_ = nullptr;
    WNDPROC previous_ = nullptr;
    bool by_property_ = false;  // the table had no room: the window's property names this
};

// A modal dialog served by Derived::on_message (return TRUE when handled).
//     Derived d; INT_PTR r = d.do_modal(instance, MAKEINTRESOURCEA(id), parent);
template <class Derived>
class dialog_impl {
public:
    HWND hwnd() const noexcept { return hwnd_; }

    INT_PTR do_modal(HINSTANCE instance, LPCSTR templ, HWND parent, LPARAM init = 0) noexcept {
        _Module.add_create_wnd_data(static_cast<Derived*>(this));
        const INT_PTR r = DialogBoxParamA(instance, templ, parent, &start_dialog_proc, init);
        if (!hwnd_) _Module.extract_create_wnd_data();  // never created: take the record back
        hwnd_ = nullptr;
        return r;
    }

    bool end_dialog(INT_PTR result) noexcept { return EndDialog(hwnd_, result) != FALSE; }

protected:
    dialog_impl() noexcept = default;
    ~dialog_impl() = default;
    dialog_impl(const dialog_impl&) = delete;
    dialog_impl& operator=(const dialog_impl&) = delete;

private:
    static INT_PTR CALLBACK start_dialog_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        auto* self = static_cast<Derived*>(_Module.extract_create_wnd_data());
        if (!self) return FALSE;
        self->hwnd_ = hwnd;
        SetWindowLongPtrA(hwnd, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(&dialog_proc));
        SetPropA(hwnd, "GN.Dialog", self);
        return dialog_proc(hwnd, msg, wp, lp);
    }
    static INT_PTR CALLBACK dialog_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        auto* self = static_cast<Derived*>(GetPropA(hwnd, "GN.Dialog"));
        if (!self) return FALSE;
        if (msg == WM_NCDESTROY) RemovePropA(hwnd, "GN.Dialog");
        return self->on_message(msg, wp, lp);
    }

    HWND hwnd_ = nullptr;
};

}  // namespace gn
