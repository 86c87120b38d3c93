// gnmarshal.exe: hands an IMorvaneVersion to another apartment through the
// interfaces and type library registered in this program's registry view and
// calls GetClientVersion from there: the version service's object where this
// view serves it ("served"), else one of its own ("own"). Prints
// "served|own <text> marshal 0x<result>"; exit code 0 when the call came back.
#include <cstdio>

#include "frame/interfaces.h"
#include "frame/object.h"

namespace {

class Version final : public gn::implements<Version, gn::no_lock, IMorvaneVersion,
                                            gn::alias<IDispatch, IMorvaneVersion>> {
public:
    STDMETHODIMP GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP GetClientVersion(BSTR* text) override {
        *text = SysAllocString(L"own");
        return *text ? S_OK : E_OUTOFMEMORY;
    }
    STDMETHODIMP Map6xUrlTo8(BSTR, BSTR) override { return E_NOTIMPL; }
    STDMETHODIMP Clear6xUrlMap() override { return E_NOTIMPL; }
};

// The other apartment: unmarshals the stream and calls through the proxy.
DWORD WINAPI call_from_elsewhere(void* stream) {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    gn::com_ptr<IMorvaneVersion> proxy;
    HRESULT hr = CoGetInterfaceAndReleaseStream(static_cast<IStream*>(stream), IID_IMorvaneVersion,
                                                proxy.put_void());
    gn::unique_bstr text;
    if (SUCCEEDED(hr)) hr = proxy->GetClientVersion(text.put());
    if (SUCCEEDED(hr)) std::printf("%ls ", text.get() ? text.get() : L"");
    proxy.reset();
    CoUninitialize();
    return static_cast<DWORD>(hr);
}

HRESULT marshal_and_call() {
    gn::com_ptr<IMorvaneVersion> object;
    CLSID clsid = {};
    const bool served = SUCCEEDED(CLSIDFromProgID(L"DZxLauncher.MorvaneVersion", &clsid)) &&
                        SUCCEEDED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER,
                                                   IID_IMorvaneVersion, object.put_void()));
    if (!served) object = gn::make<Version>();
    RETURN_IF_NULL_ALLOC(object.get());
    std::printf(served ? "served " : "own ");
    IStream* stream = nullptr;
    RETURN_IF_FAILED(CoMarshalInterThreadInterfaceInStream(IID_IMorvaneVersion, object.get(), &stream));
    gn::unique_handle thread(CreateThread(nullptr, 0, call_from_elsewhere, stream, 0, nullptr));
    if (!thread) {
        CoReleaseMarshalData(stream);
        stream->Release();
        return HRESULT_FROM_WIN32(GetLastError());
    }
    // The call comes back to this apartment as a message.
    const HANDLE handle = thread.get();
    for (DWORD start = GetTickCount(); GetTickCount() - start < 30000;) {
        if (MsgWaitForMultipleObjects(1, &handle, FALSE, 1000, QS_ALLINPUT) == WAIT_OBJECT_0) {
            DWORD code = 0;
            GetExitCodeThread(handle, &code);
            return static_cast<HRESULT>(code);
        }
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    return HRESULT_FROM_WIN32(ERROR_TIMEOUT);
}

}  // namespace

int main() {
    HRESULT hr = CoInitialize(nullptr);
    if (SUCCEEDED(hr)) {
        hr = marshal_and_call();
        CoUninitialize();
    }
    std::printf("marshal 0x%08lx\n", static_cast<unsigned long>(hr));
    return hr == S_OK ? 0 : 1;
}
