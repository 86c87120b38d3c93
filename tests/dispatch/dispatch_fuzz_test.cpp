// Every dual interface of the module called through IDispatch::Invoke with
// random member ids, flags, argument counts and argument types, seeded and
// reproducible. GN_DISPATCH_CALLS sets the number of calls (default below),
// GN_DISPATCH_SEED the seed. Checked: no crash, every reference given back
// (the module can unload, the fake objects handed in are released), each
// call's log growth bounded, and the URL map written only as the site lock
// allows a page of fuzz.test.
#include <gtest/gtest.h>

#include <windows.h>
#include <ole2.h>
#include <objsafe.h>

#include <climits>
#include <cstdio>
#include <map>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "frame/interfaces.h"
#include "frame/object.h"
#include "support/fake_moniker.h"
#include "support/module.h"
#include "version/site_text.h"

namespace {

constexpr char kMapKey[] = "Software\\Quor Software\\QuorPlugin\\quorqry\\6x-8x URL Map";
// fuzz.test in the Internet zone by name: without a Domains key, Wine's zone
// manager answers URLZONE_INVALID, which the site lock treats as no zone.
constexpr char kFuzzZone[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\ZoneMap\\Domains\\fuzz.test";
constexpr unsigned long kDefaultCalls = 200000;
constexpr unsigned long kDefaultSeed = 24;
// The most one call may add to the log: a few lines, arguments cut at 512 bytes.
constexpr LONGLONG kLogBytesPerCall = 4096;

unsigned long env_number(const char* name, unsigned long fallback) {
    const char* text = std::getenv(name);
    return text && *text ? std::strtoul(text, nullptr, 0) : fallback;
}

// The reference count of an object of ours.
template <class T>
ULONG references(T* object) {
    object->AddRef();
    return object->Release();
}

// An object handed in as VT_UNKNOWN or VT_DISPATCH: answers IUnknown and
// IDispatch (members: none) and counts its references.
class FakeArgument final : public gn::implements<FakeArgument, gn::no_lock, IDispatch> {
public:
    STDMETHODIMP GetTypeInfoCount(UINT* n) override {
        if (n) *n = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** ti) override {
        if (ti) *ti = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }
};

// The site of a web page on fuzz.test, an Internet page: it may remap only
// its own host's legacy documents.
class PageSite final : public gn::implements<PageSite, gn::no_lock, IOleClientSite> {
public:
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD which, IMoniker** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (which != OLEWHICHMK_CONTAINER) return E_FAIL;
        return gntest::FakeMoniker::make(L"http://fuzz.test/page.html")
            .copy_to(IID_IMoniker, reinterpret_cast<void**>(out));
    }
    STDMETHODIMP GetContainer(IOleContainer** out) override {
        if (out) *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }
};

struct target {
    const char* name;
    gn::com_ptr<IDispatch> disp;
    std::vector<DISPID> members;
};

class DispatchFuzz : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        // Runs of different seeds may go side by side: each has its own folder and keys.
        seed_ = env_number("GN_DISPATCH_SEED", kDefaultSeed);
        const std::string run = "dispatch-" + std::to_string(seed_);
        sandbox_ = "Software\\GNLauncherTests\\" + run;
        dir_ = gntest::make_scratch_dir(run);
        SetCurrentDirectoryA(dir_.c_str());
        log_ = dir_ + "dispatch.log";
        SetEnvironmentVariableA("GNLAUNCHERLOG", log_.c_str());
        const std::string env = "GNLAUNCHERLOG=" + log_;
        _putenv(env.c_str());

        RegDeleteTreeA(HKEY_CURRENT_USER, sandbox_.c_str());
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, (sandbox_ + "\\classes").c_str(),
                                                 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &classes_, nullptr));
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, (sandbox_ + "\\user").c_str(),
                                                 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &user_, nullptr));
        HKEY zones = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(user_, kFuzzZone, 0, nullptr, 0, KEY_ALL_ACCESS,
                                                 nullptr, &zones, nullptr));
        const DWORD internet = 3;
        RegSetValueExA(zones, "http", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&internet), 4);
        RegCloseKey(zones);
        ASSERT_EQ(ERROR_SUCCESS, RegOverridePredefKey(HKEY_CLASSES_ROOT, classes_));
        ASSERT_EQ(ERROR_SUCCESS, RegOverridePredefKey(HKEY_CURRENT_USER, user_));

        const std::string hooks = gntest::LoadedModule::program_dir() + "gntesthooks.dll";
        module_ = new gntest::LoadedModule(hooks);
        ASSERT_TRUE(module_->loaded());
        ASSERT_EQ(S_OK, gntest::register_type_library(hooks));
        fake_ = gn::make<FakeArgument>();
        site_ = gn::make<PageSite>();
    }

    void TearDown() override {
        targets_.clear();
        if (module_) {
            EXPECT_EQ(S_OK, module_->can_unload_now()) << "a reference was kept";
            gntest::unregister_type_library();
            delete module_;
        }
        RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
        RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        if (classes_) RegCloseKey(classes_);
        if (user_) RegCloseKey(user_);
        RegDeleteTreeA(HKEY_CURRENT_USER, sandbox_.c_str());
        CoUninitialize();
    }

    void add_target(const char* name, IUnknown* object) {
        target t{name, gn::try_query<IDispatch>(object), {}};
        ASSERT_TRUE(t.disp) << name;
        gn::com_ptr<ITypeInfo> info;
        if (SUCCEEDED(t.disp->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.put())) && info) {
            TYPEATTR* attr = nullptr;
            if (SUCCEEDED(info->GetTypeAttr(&attr))) {
                for (UINT i = 0; i < attr->cFuncs; ++i) {
                    FUNCDESC* desc = nullptr;
                    // The interface's own members, not those of IUnknown and IDispatch.
                    if (SUCCEEDED(info->GetFuncDesc(i, &desc))) {
                        if (!(desc->wFuncFlags & FUNCFLAG_FRESTRICTED)) t.members.push_back(desc->memid);
                        info->ReleaseFuncDesc(desc);
                    }
                }
                info->ReleaseTypeAttr(attr);
            }
        }
        targets_.push_back(std::move(t));
    }

    LONGLONG log_size() const {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!GetFileAttributesExA(log_.c_str(), GetFileExInfoStandard, &data)) return 0;
        return (static_cast<LONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    }

    // --- random values ---
    unsigned pick(unsigned n) { return std::uniform_int_distribution<unsigned>(0, n - 1)(rng_); }
    LONG any_int() {
        static const LONG special[] = {0, 1, -1, 2, 96, INT_MAX, INT_MIN, 0x7FFF, 0x10000};
        return pick(3) ? special[pick(sizeof special / sizeof *special)] : static_cast<LONG>(rng_());
    }
    BSTR any_string() {
        static const wchar_t* const texts[] = {
            L"", L" ", L"http://fuzz.test/a.dzy", L"http://other.test/a.dzy", L"http://fuzz.test",
            L"http://fuzz.test@other.test/", L"{6F3B9D29-4E1A-11D5-A7C3-0050DA6E1B42}",
            L"{00000000-0000-0000-0000-000000000000}", L"file:///C:/x.dzy", L"%s%n%s%n", L"\u0D05\u4E00",
        };
        const unsigned kind = pick(8);
        if (kind < 4) {
            std::wstring s = pick(2) ? L"http://fuzz.test/" : texts[pick(sizeof texts / sizeof *texts)];
            if (pick(3) == 0) s += std::to_wstring(rng_() % 1000);
            return SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
        }
        // 0 to 100,000 characters, mostly short, any code unit (NULs included).
        const unsigned length = kind == 7 ? pick(100001) : pick(64);
        std::wstring s(length, L'a');
        for (auto& c : s) c = pick(4) ? static_cast<wchar_t>(L' ' + pick(95)) : static_cast<wchar_t>(rng_());
        if (kind == 6 && length) s[pick(length)] = L'\0';
        if (pick(2) && length > 16) s.replace(0, 16, L"http://fuzz.test");
        return SysAllocStringLen(s.data(), length);
    }

    // One argument; storage a VT_BYREF argument points to lives in the call.
    struct call_storage {
        std::vector<VARIANT> inner;  // targets of VT_BYREF|VT_VARIANT
        std::vector<BSTR> strings;   // targets of VT_BYREF|VT_BSTR
        std::vector<LONG> longs;     // targets of VT_BYREF|VT_I4
        call_storage() { inner.reserve(8); strings.reserve(8); longs.reserve(8); }
        ~call_storage() {
            for (auto& v : inner) VariantClear(&v);
            for (BSTR b : strings) SysFreeString(b);
        }
    };
    // No object goes inside a by-reference VARIANT: a callee may write an
    // [out] parameter over it without releasing it, as COM allows.
    void make_arg(VARIANT& v, call_storage& store, int depth = 0, bool objects = true) {
        VariantInit(&v);
        unsigned kind = pick(depth ? 11 : 14);
        if (!objects && (kind == 8 || kind == 9)) kind = 2;
        switch (kind) {
        case 0: break;  // VT_EMPTY
        case 1: V_VT(&v) = VT_NULL; break;
        case 2: V_VT(&v) = VT_I4; V_I4(&v) = any_int(); break;
        case 3: V_VT(&v) = VT_I2; V_I2(&v) = static_cast<SHORT>(any_int()); break;
        case 4: V_VT(&v) = VT_BOOL; V_BOOL(&v) = pick(2) ? VARIANT_TRUE : VARIANT_FALSE; break;
        case 5: V_VT(&v) = VT_R8; V_R8(&v) = static_cast<double>(any_int()) / 3.0; break;
        case 6: case 7: V_VT(&v) = VT_BSTR; V_BSTR(&v) = pick(8) ? any_string() : nullptr; break;
        case 8:
            V_VT(&v) = VT_DISPATCH;
            V_DISPATCH(&v) = pick(2) ? fake_.get() : nullptr;
            if (V_DISPATCH(&v)) V_DISPATCH(&v)->AddRef();
            break;
        case 9:
            V_VT(&v) = VT_UNKNOWN;
            V_UNKNOWN(&v) = pick(3) == 0 ? nullptr
                            : pick(2)    ? static_cast<IUnknown*>(static_cast<IOleClientSite*>(site_.get()))
                                         : static_cast<IUnknown*>(fake_.get());
            if (V_UNKNOWN(&v)) V_UNKNOWN(&v)->AddRef();
            break;
        case 10: V_VT(&v) = VT_ERROR; V_ERROR(&v) = DISP_E_PARAMNOTFOUND; break;  // a missing optional
        case 11: {
            SAFEARRAYBOUND bound{pick(4), 0};
            SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 1, &bound);
            for (LONG i = 0; array && i < static_cast<LONG>(bound.cElements); ++i) {
                VARIANT element;
                make_arg(element, store, depth + 1, objects);
                SafeArrayPutElement(array, &i, &element);
                VariantClear(&element);
            }
            V_VT(&v) = VT_ARRAY | VT_VARIANT;
            V_ARRAY(&v) = array;
            break;
        }
        case 12:
            store.strings.push_back(pick(4) ? any_string() : nullptr);
            V_VT(&v) = VT_BYREF | VT_BSTR;
            V_BSTRREF(&v) = &store.strings.back();
            break;
        default:
            if (pick(2)) {
                store.longs.push_back(any_int());
                V_VT(&v) = VT_BYREF | VT_I4;
                V_I4REF(&v) = &store.longs.back();
            } else {
                store.inner.emplace_back();
                make_arg(store.inner.back(), store, depth + 1, false);
                V_VT(&v) = VT_BYREF | VT_VARIANT;
                V_VARIANTREF(&v) = &store.inner.back();
            }
            break;
        }
    }

    // One random call through IDispatch.
    void call_once(target& t) {
        static const WORD flags[] = {DISPATCH_METHOD, DISPATCH_PROPERTYGET, DISPATCH_PROPERTYPUT,
                                     DISPATCH_PROPERTYPUTREF, DISPATCH_METHOD | DISPATCH_PROPERTYGET, 0,
                                     0xFFFF};
        static const DISPID odd_ids[] = {0, DISPID_UNKNOWN, DISPID_PROPERTYPUT, DISPID_NEWENUM,
                                         DISPID_EVALUATE, 4, 0x60020000, 0x60010000, 0x7FFFFFFF};
        const unsigned kind = pick(20);
        if (kind == 0) {  // names and type information
            BSTR name = any_string();
            LPOLESTR names[] = {name};
            DISPID id = 0;
            t.disp->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
            SysFreeString(name);
            gn::com_ptr<ITypeInfo> info;
            t.disp->GetTypeInfo(pick(3), LOCALE_USER_DEFAULT, info.put());
            return;
        }
        DISPID id;
        if (!t.members.empty() && pick(4)) id = t.members[pick(static_cast<unsigned>(t.members.size()))];
        else id = pick(2) ? odd_ids[pick(sizeof odd_ids / sizeof *odd_ids)] : static_cast<DISPID>(rng_());
        WORD flag = pick(3) ? DISPATCH_METHOD : flags[pick(sizeof flags / sizeof *flags)];

        call_storage store;
        const unsigned count = pick(3) ? pick(3) : pick(7);
        std::vector<VARIANT> args(count);
        for (auto& a : args) make_arg(a, store);
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS params{args.empty() ? nullptr : args.data(), nullptr, count, 0};
        if (count && (flag & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) && pick(2)) {
            params.rgdispidNamedArgs = &named;
            params.cNamedArgs = 1;
        } else if (count && pick(20) == 0) {
            named = static_cast<DISPID>(pick(4));
            params.rgdispidNamedArgs = &named;
            params.cNamedArgs = 1;
        }

        last_call_ = std::string(t.name) + " id " + std::to_string(id) + " flags " + std::to_string(flag) +
                     (params.cNamedArgs ? " named" : "") + " args";
        for (const auto& a : args) {
            char type[16];
            std::snprintf(type, sizeof type, " %04x", V_VT(&a));
            last_call_ += type;
        }
        if (trace_) {
            std::printf("%s\n", last_call_.c_str());
            std::fflush(stdout);
        }
        VARIANT result;
        VariantInit(&result);
        EXCEPINFO error{};
        UINT arg_error = 0;
        const GUID& riid = pick(30) ? IID_NULL : IID_IDispatch;
        const HRESULT hr = t.disp->Invoke(id, riid, LOCALE_USER_DEFAULT, flag, pick(10) ? &params : nullptr,
                                          pick(6) ? &result : nullptr, pick(6) ? &error : nullptr,
                                          pick(6) ? &arg_error : nullptr);
        for (DISPID member : t.members)
            if (member == id) ++outcomes_[std::string(t.name) + " " + std::to_string(id)][hr];
        VariantClear(&result);
        SysFreeString(error.bstrSource);
        SysFreeString(error.bstrDescription);
        SysFreeString(error.bstrHelpFile);
        for (auto& a : args) VariantClear(&a);
    }

    unsigned long seed_ = kDefaultSeed;
    bool trace_ = env_number("GN_DISPATCH_TRACE", 0) != 0;  // each call printed before it is made
    std::string last_call_;
    std::string sandbox_, dir_, log_;
    HKEY classes_ = nullptr, user_ = nullptr;
    gntest::LoadedModule* module_ = nullptr;
    std::vector<target> targets_;
    gn::com_ptr<FakeArgument> fake_;
    gn::com_ptr<PageSite> site_;
    std::mt19937 rng_;
    // How the calls of each listed member ended, by result code.
    std::map<std::string, std::map<HRESULT, unsigned long>> outcomes_;
};

}  // namespace

TEST_F(DispatchFuzz, RandomCallsThroughEveryDualInterface) {
    const unsigned long calls = env_number("GN_DISPATCH_CALLS", kDefaultCalls);
    const unsigned long seed = seed_;
    rng_.seed(seed);

    gn::com_ptr<IUnknown> launcher, version, host;
    ASSERT_EQ(S_OK, module_->create(CLSID_MorvaneLauncher, IID_IUnknown, launcher.put_void()));
    ASSERT_EQ(S_OK, module_->create(CLSID_MorvaneVersion, IID_IUnknown, version.put_void()));
    auto create_host = gn::proc_address<HRESULT(WINAPI*)(IUnknown**)>(module_->handle(),
                                                                      "CreateCtlHost6xForTest");
    ASSERT_TRUE(create_host);
    ASSERT_EQ(S_OK, create_host(host.put()));
    // The version service sits on an Internet page of fuzz.test.
    auto with_site = gn::try_query<IObjectWithSite>(version.get());
    ASSERT_TRUE(with_site);
    ASSERT_EQ(S_OK, with_site->SetSite(static_cast<IOleClientSite*>(site_.get())));
    add_target("ILauncher", launcher.get());
    add_target("IMorvaneVersion", version.get());
    add_target("ICtlHost6x", host.get());

    LONGLONG worst = 0;
    unsigned long worst_call = 0, kept = 0;
    for (unsigned long i = 0; i < calls; ++i) {
        target& t = targets_[pick(static_cast<unsigned>(targets_.size()))];
        if (trace_) std::printf("call %lu: ", i);
        const LONGLONG before = log_size();
        const ULONG fake_refs = references(fake_.get()), site_refs = references(site_.get());
        last_call_.clear();
        call_once(t);
        const LONGLONG grown = log_size() - before;
        // An object handed in is given back when the call returns (none of
        // these calls may keep it: no control is ever created).
        if (references(fake_.get()) != fake_refs || references(site_.get()) != site_refs) {
            if (++kept < 10)
                ADD_FAILURE() << "call " << i << " kept a reference: " << last_call_;
            else if (kept == 10)
                ADD_FAILURE() << "more calls kept references";
        }
        if (grown > worst) {
            worst = grown;
            worst_call = i;
        }
        if (i % 100000 == 99999) std::printf("%lu calls\n", i + 1);
    }
    std::printf("%lu calls, seed %lu: largest log growth of one call %lld bytes (call %lu)\n", calls,
                seed, static_cast<long long>(worst), worst_call);
    for (const auto& member : outcomes_) {
        std::printf("%s:", member.first.c_str());
        for (const auto& outcome : member.second)
            std::printf(" %08lx x%lu", static_cast<unsigned long>(outcome.first), outcome.second);
        std::printf("\n");
    }
    EXPECT_LE(worst, kLogBytesPerCall) << "call " << worst_call << " of seed " << seed;

    // The page keeps its own host's rights, no more: fuzz.test's mapping is
    // written, another host's refused. The map holds only fuzz.test's.
    auto direct = gn::try_query<IMorvaneVersion>(version.get());
    auto own = gn::unique_bstr::copy_of(L"http://fuzz.test/kept.dzy");
    auto other = gn::unique_bstr::copy_of(L"http://other.test/");
    EXPECT_EQ(S_OK, direct->Map6xUrlTo8(own.get(), other.get()));
    EXPECT_EQ(E_ACCESSDENIED, direct->Map6xUrlTo8(other.get(), own.get()));
    direct.reset();
    HKEY map = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExA(user_, kMapKey, 0, KEY_READ, &map));
    if (map) {
        char name[4096];
        unsigned long names = 0;
        for (DWORD index = 0;; ++index) {
            DWORD size = sizeof name;
            const LONG rc = RegEnumValueA(map, index, name, &size, nullptr, nullptr, nullptr, nullptr);
            if (rc == ERROR_NO_MORE_ITEMS) break;
            if (rc != ERROR_SUCCESS) continue;
            ++names;
            char found[gn::kHostSize];
            EXPECT_TRUE(gn::url_host(name, found) && std::string(found) == "fuzz.test") << name;
        }
        RegCloseKey(map);
        std::printf("URL map: %lu names, all of fuzz.test\n", names);
    }

    with_site->SetSite(nullptr);
    with_site.reset();
    launcher.reset();
    version.reset();
    host.reset();
    targets_.clear();
    // Every fake handed in was given back.
    EXPECT_EQ(1u, fake_->AddRef() - 1);
    fake_->Release();
}

TEST_F(DispatchFuzz, ObjectArgumentsAreGivenBack) {
    gn::com_ptr<IUnknown> host;
    auto create_host = gn::proc_address<HRESULT(WINAPI*)(IUnknown**)>(module_->handle(),
                                                                      "CreateCtlHost6xForTest");
    ASSERT_TRUE(create_host);
    ASSERT_EQ(S_OK, create_host(host.put()));
    add_target("ICtlHost6x", host.get());
    const DISPID create_control = targets_[0].members.at(1);

    for (int shape = 0; shape < 4; ++shape) {
        SCOPED_TRACE(shape);
        IUnknown* out = nullptr;
        VARIANT args[5];  // in reverse: ppUnk, pServiceProvider, hWnd, lpURL, lpCLSID
        for (auto& a : args) VariantInit(&a);
        V_VT(&args[0]) = VT_BYREF | VT_UNKNOWN;
        V_UNKNOWNREF(&args[0]) = &out;
        V_VT(&args[1]) = shape & 1 ? VT_DISPATCH : VT_UNKNOWN;
        V_DISPATCH(&args[1]) = fake_.get();
        V_VT(&args[2]) = VT_I4;
        V_I4(&args[2]) = 0;
        V_VT(&args[3]) = VT_BSTR;
        V_BSTR(&args[3]) = SysAllocString(L"http://fuzz.test/a.dzy");
        V_VT(&args[4]) = VT_BSTR;
        V_BSTR(&args[4]) = SysAllocString(L"{00000000-0000-0000-0000-000000000000}");
        // shape 2, 3: the out argument left off.
        DISPPARAMS params{shape & 2 ? args + 1 : args, nullptr, shape & 2 ? 4u : 5u, 0};
        const ULONG before = references(fake_.get());
        VARIANT result;
        VariantInit(&result);
        const HRESULT hr = targets_[0].disp->Invoke(create_control, IID_NULL, LOCALE_USER_DEFAULT,
                                                    DISPATCH_METHOD, &params, &result, nullptr, nullptr);
        VariantClear(&result);
        EXPECT_EQ(before, references(fake_.get())) << std::hex << hr;
        if (out) out->Release();
        VariantClear(&args[3]);
        VariantClear(&args[4]);
    }

    // Without a window to take over, the [out] control is null, not left as it was.
    auto host_iface = gn::try_query<ICtlHost6x>(host.get());
    ASSERT_TRUE(host_iface);
    auto clsid = gn::unique_bstr::copy_of(L"{00000000-0000-0000-0000-000000000000}");
    IUnknown* control = reinterpret_cast<IUnknown*>(static_cast<INT_PTR>(0x0BADF00D));
    EXPECT_EQ(S_FALSE, host_iface->CreateControl6x(clsid.get(), nullptr, 0, nullptr, &control));
    EXPECT_EQ(nullptr, control);
}
