// The message-only window of an object.
#include "frame/message_window.h"

#include <cstdio>

namespace gn {

namespace {

// One class for each loaded copy of the module: its name holds the module's
// address, as every window class of the module's own does.
char g_class_name[48];
module_window_class<char> g_class(g_class_name, &message_window::start_window_proc);

bool message_window_class() noexcept {
    static const bool named = std::snprintf(g_class_name, sizeof g_class_name, "GN.MessageWindow:%p",
                                            static_cast<void*>(_Module.module_instance())) > 0;
    return named && g_class.ensure();
}

}  // namespace

bool message_window::create(message_sink* sink) noexcept {
    if (hwnd() || !sink || !message_window_class()) return false;
    sink_ = sink;
    _Module.add_create_wnd_data(this);
    if (!CreateWindowExA(0, g_class_name, nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                         _Module.module_instance(), nullptr)) {
        _Module.extract_create_wnd_data();  // never reached the window: take it back
        sink_ = nullptr;
        return false;
    }
    return true;
}

void message_window::destroy() noexcept {
    sink_ = nullptr;
    if (hwnd()) DestroyWindow(hwnd());
}

LRESULT message_window::on_message(UINT msg, WPARAM wp, LPARAM, bool& handled) {
    if (msg != WM_TIMER && msg < WM_APP) return 0;
    handled = true;
    // Last: the sink may destroy this window from inside.
    if (message_sink* sink = sink_) sink->on_window_message(msg, wp);
    return 0;
}

}  // namespace gn
