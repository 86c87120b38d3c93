// gnmarshal.exe: what this program's registry view registers of the module
// ("server=<launcher's server>|helpdir=<library's HELPDIR>|interfaces=<how
// many of its 3 interfaces are whole>"), then an IMorvaneVersion handed to
// another apartment through them and called there: the version service's
// object where this view serves it, else one of the program's own
// ("served|own <text> marshal 0x<result>"). Exit code 0 when the call came back.
#include <cstdio>
#include <cwchar>

#include <string>

#include "frame/interfaces.h"
#include "frame/object.h"

namespace {

class Version final
    : public gn::implements<Version, gn::no_lock, IMorvaneVersion, gn::alias<IDispatch, IMorvaneVersion>> {
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

std::wstring text_of(const wchar_t* key, const wchar_t* name = nullptr) {
    wchar_t text[MAX_PATH] = {};
    DWORD size = sizeof text;
    RegGetValueW(HKEY_CLASSES_ROOT, key, name, RRF_RT_REG_SZ, nullptr, text, &size);
    return text;
}

std::wstring guid(const GUID& g) {
    wchar_t text[40] = {};
    StringFromGUID2(g, text, 40);
    return text;
}

void print_registration() {
    const std::wstring library = guid(LIBID_DZxLauncherLib);
    int whole = 0;
    for (const IID* iid : {&IID_ILauncher, &IID_IMorvaneVersion, &IID_ICtlHost6x}) {
        const std::wstring key = L"Interface\\" + guid(*iid);
        whole += text_of((key + L"\\ProxyStubClsid32").c_str()) ==
                     L"{00020424-0000-0000-C000-000000000046}" &&
                 text_of((key + L"\\TypeLib").c_str()) == library &&
                 text_of((key + L"\\TypeLib").c_str(), L"Version") == L"1.0";
    }
    std::printf("server=%ls|helpdir=%ls|interfaces=%d\n",
                text_of((L"CLSID\\" + guid(CLSID_MorvaneLauncher) + L"\\InprocServer32").c_str()).c_str(),
                text_of((L"TypeLib\\" + library + L"\\1.0\\HELPDIR").c_str()).c_str(), whole);
}

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
    print_registration();
    HRESULT hr = CoInitialize(nullptr);
    if (SUCCEEDED(hr)) {
        hr = marshal_and_call();
        CoUninitialize();
    }
    std::printf("marshal 0x%08lx\n", static_cast<unsigned long>(hr));
    return hr == S_OK ? 0 : 1;
}
