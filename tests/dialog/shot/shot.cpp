// Shows the version choice dialog of gntesthooks.dll (found beside this
// program) and saves what the screen shows of it as a 24-bit BMP file. With a
// translation table, a copy of the DLL in the temporary folder shows the
// dialog with the table beside it.
// Usage: gndialog_shot.exe OUT.bmp [TABLE]
#include "demo/screen_capture.h"
#include "tests/support/hooks/test_hooks.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

const char* g_out = nullptr;
int g_status = 1;
int g_ticks = 0;

BOOL CALLBACK match_dialog(HWND hwnd, LPARAM lp) {
    char cls[16] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    if (lstrcmpA(cls, "#32770") != 0 || !IsWindowVisible(hwnd)) return TRUE;
    *reinterpret_cast<HWND*>(lp) = hwnd;
    return FALSE;
}

HWND find_dialog() {
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), &match_dialog, reinterpret_cast<LPARAM>(&found));
    return found;
}

bool save_bmp(const char* path, HWND hwnd) {
    RECT r{};
    GetWindowRect(hwnd, &r);
    return save_screen_bmp(path, r);
}

void CALLBACK on_timer(HWND, UINT, UINT_PTR id, DWORD) {
    HWND dialog = find_dialog();
    // Give the dialog a few rounds to paint before taking the picture.
    if (!dialog || ++g_ticks < 20) return;
    KillTimer(nullptr, id);
    RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN |
                                               RDW_FRAME | RDW_ERASE);
    g_status = save_bmp(g_out, dialog) ? 0 : 3;
    EndDialog(dialog, 2);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: gndialog_shot OUT.bmp [TABLE]\n");
        return 2;
    }
    g_out = argv[1];
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    char* slash = strrchr(path, '\\');
    if (slash) lstrcpyA(slash + 1, "gntesthooks.dll");
    if (argc > 2) {
        char copy[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, copy);
        lstrcatA(copy, "gndialog_shot\\");
        CreateDirectoryA(copy, nullptr);
        const std::string dir = copy;
        if (!CopyFileA(path, (dir + "gntesthooks.dll").c_str(), FALSE) ||
            !CopyFileA(argv[2], (dir + "quorttbl.txt").c_str(), FALSE)) {
            std::fprintf(stderr, "cannot copy the DLL and %s to %s\n", argv[2], dir.c_str());
            return 2;
        }
        lstrcpyA(path, (dir + "gntesthooks.dll").c_str());
    }
    HMODULE dll = LoadLibraryA(path);
    if (!dll) {
        std::fprintf(stderr, "cannot load %s\n", path);
        return 2;
    }
    auto call = reinterpret_cast<GnTestCallFn>(reinterpret_cast<void*>(GetProcAddress(dll, "GnTestCall")));
    SetTimer(nullptr, 0, 50, &on_timer);
    const INT_PTR choice = call ? call(GnTestAskVersionChoice, 0, 0) : -1;
    std::printf("dialog result %d\n", static_cast<int>(choice));
    FreeLibrary(dll);
    if (argc > 2) {  // the copy goes again
        std::string dir = path;
        dir.resize(dir.size() - lstrlenA("gntesthooks.dll"));
        DeleteFileA(path);
        DeleteFileA((dir + "quorttbl.txt").c_str());
        RemoveDirectoryA(dir.c_str());
    }
    return g_status;
}
