// A stand-in for the main plugin's ILauncherEvent sink: records every call
// and, like the plugin, reads the downloaded file while the call runs (the
// launcher deletes it when the call returns).
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "frame/object.h"
#include "frame/interfaces.h"
#include "support/expect.h"

namespace gntest {

struct SinkCall {
    enum Kind { DataAvailable, Abort };
    Kind kind = DataAvailable;
    // OnDZxDataAvailable
    std::wstring url, path, mime;
    bool url_null = false, path_null = false, mime_null = false;
    bool file_existed = false;       // the file at path existed during the call
    unsigned long long file_size = 0;
    std::string contents;            // the file's bytes (when read_contents is set)
    // OnAbort
    HRESULT hr = S_OK;
    std::wstring error;
    bool error_null = false;
};

class TestSink final : public gn::implements<TestSink, gn::no_lock, ILauncherEvent> {
public:
    // A new sink with one reference, owned by the returned pointer.
    static gn::com_ptr<TestSink> make();

    std::vector<SinkCall> calls;
    bool read_contents = true;
    // Runs inside each call after it was recorded (for re-entrant tests).
    std::function<void(TestSink&)> during_call;
    // The result the sink returns from its calls.
    HRESULT result = S_OK;
    // When set, every call is checked against it ("OnDZxDataAvailable", "OnAbort").
    Expectations* expected = nullptr;

    ULONG refs() { AddRef(); return Release(); }

    STDMETHODIMP OnDZxDataAvailable(BSTR pURL, BSTR pPath, BSTR pMimeType) override;
    STDMETHODIMP OnAbort(HRESULT hrError, BSTR sError) override;

private:
    void after_call() noexcept;
    ApartmentThread apartment_;
};

// Wide <-> narrow for test messages and paths (system code page).
std::string narrow(const std::wstring& s);
std::wstring widen(const std::string& s);

}  // namespace gntest
