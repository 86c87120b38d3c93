// gnwindows.exe: small window chores for scripts that drive a browser in a
// Wine prefix (tools/open, the interoperability test).
//
//   gnwindows wait CLASS MS      waits until a top-level window of CLASS exists
//   gnwindows close CLASS MS     posts WM_CLOSE to every top-level window of
//                                CLASS and waits until they are all gone
//   gnwindows shot CLASS OUT.bmp saves what the screen shows of the first
//                                window of CLASS ("-": the whole screen) as a
//                                24-bit BMP file
//
// Exit codes: 0 done, 1 timed out or failed, 2 no such window (close, shot),
// 3 bad command line.
#include <windows.h>

#include "screen_capture.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct Search {
    const char* cls;
    std::vector<HWND> found;
};

BOOL CALLBACK collect(HWND hwnd, LPARAM lp) {
    auto* search = reinterpret_cast<Search*>(lp);
    char cls[64] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    if (lstrcmpiA(cls, search->cls) == 0) search->found.push_back(hwnd);
    return TRUE;
}

std::vector<HWND> windows_of(const char* cls) {
    Search search{cls, {}};
    EnumWindows(&collect, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Waits in steps of 100 ms, at most ms, until done() holds.
template <class Done>
bool wait_until(DWORD ms, Done done) {
    for (DWORD waited = 0;; waited += 100) {
        if (done()) return true;
        if (waited >= ms) return false;
        Sleep(100);
    }
}


int usage() {
    std::fprintf(stderr,
                 "usage: gnwindows wait CLASS MS | close CLASS MS | shot CLASS|- OUT.bmp\n");
    return 3;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) return usage();
    const char* verb = argv[1];
    const char* cls = argv[2];

    if (!strcmp(verb, "wait") || !strcmp(verb, "close")) {
        char* end = nullptr;
        const unsigned long ms = std::strtoul(argv[3], &end, 10);
        if (!*argv[3] || *end || ms > 600000) return usage();
        if (!strcmp(verb, "wait"))
            return wait_until(ms, [&] { return !windows_of(cls).empty(); }) ? 0 : 1;
        const std::vector<HWND> open = windows_of(cls);
        if (open.empty()) return 2;
        for (HWND hwnd : open) PostMessageA(hwnd, WM_CLOSE, 0, 0);
        return wait_until(ms, [&] {
                   for (HWND hwnd : open)
                       if (IsWindow(hwnd)) return false;
                   return true;
               })
                   ? 0
                   : 1;
    }
    if (!strcmp(verb, "shot")) {
        RECT r{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        if (strcmp(cls, "-") != 0) {
            const std::vector<HWND> open = windows_of(cls);
            if (open.empty()) return 2;
            HWND hwnd = open.front();
            RedrawWindow(hwnd, nullptr, nullptr,
                         RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME | RDW_ERASE);
            Sleep(300);  // the owning process paints on its own thread
            GetWindowRect(hwnd, &r);
        }
        return save_screen_bmp(argv[3], r) ? 0 : 1;
    }
    return usage();
}
