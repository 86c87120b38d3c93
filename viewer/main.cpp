// gnviewer.exe <url-or-path> [--close-after-ms N] [--record <file>]
//              [--user <name> --password <password>]
// Opens a QuorQuery document (or any document whose type has an active
// document handler) in a window of its own, as a browser would.
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>
#include <shellapi.h>

#include <cstdio>

#include "viewer/viewer.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    std::vector<std::wstring> args;
    int argc = 0;
    if (LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc)) {
        for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
        LocalFree(argv);
    }
    const gnviewer::Options options = gnviewer::parse_command_line(args);
    if (!options.error.empty()) {
        // No dialog: scripted runs must never wait for a click.
        std::fprintf(stderr, "gnviewer: %ls\n%ls\n", options.error.c_str(), gnviewer::usage().c_str());
        if (!options.record_path.empty()) {
            gnviewer::Record record;
            if (record.open(options.record_path)) record.add("error", options.error);
        }
        return 2;
    }

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    if (FAILED(OleInitialize(nullptr))) {
        std::fprintf(stderr, "gnviewer: OleInitialize failed\n");
        return 3;
    }
    int code;
    {
        gnviewer::Viewer viewer(options);
        code = viewer.run();
    }
    CoFreeUnusedLibraries();
    OleUninitialize();
    return code;
}
