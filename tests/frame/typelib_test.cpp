// The type library carried by the module and IDispatch served from it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/interfaces.h"
#include "gn_version.h"
#include "support/module.h"

using gn::com_ptr;
using gntest::LoadedModule;

namespace {

std::wstring widen(const std::string& s) { return std::wstring(s.begin(), s.end()); }

com_ptr<ITypeLib> load_library() {
    com_ptr<ITypeLib> lib;
    LoadTypeLibEx(widen(LoadedModule::module_path()).c_str(), REGKIND_NONE, lib.put());
    return lib;
}

std::wstring doc_string(ITypeInfo* info, MEMBERID id) {
    BSTR text = nullptr;
    info->GetDocumentation(id, nullptr, &text, nullptr, nullptr);
    gn::unique_bstr owner(text);
    return text ? std::wstring(text) : L"";
}
std::wstring name_of(ITypeInfo* info, MEMBERID id) {
    BSTR text = nullptr;
    info->GetDocumentation(id, &text, nullptr, nullptr, nullptr);
    gn::unique_bstr owner(text);
    return text ? std::wstring(text) : L"";
}

// The method-table side of an interface (the interface part of a dual one).
com_ptr<ITypeInfo> vtable_side(ITypeInfo* info) {
    com_ptr<ITypeInfo> result(info);
    TYPEATTR* attr = nullptr;
    info->GetTypeAttr(&attr);
    const bool dispatch = attr->typekind == TKIND_DISPATCH;
    info->ReleaseTypeAttr(attr);
    if (dispatch) {
        HREFTYPE ref = 0;
        if (SUCCEEDED(info->GetRefTypeOfImplType(-1, &ref))) info->GetRefTypeInfo(ref, result.put());
    }
    return result;
}

struct Member {
    const wchar_t* name;
    MEMBERID id;
    INVOKEKIND kind;
    short params;
    short optional;
    const wchar_t* help;
};

void expect_members(ITypeInfo* info, const std::vector<Member>& want) {
    com_ptr<ITypeInfo> side = vtable_side(info);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(S_OK, side->GetTypeAttr(&attr));
    const UINT count = attr->cFuncs;
    side->ReleaseTypeAttr(attr);
    ASSERT_EQ(want.size(), count);
    for (UINT i = 0; i < count; ++i) {
        FUNCDESC* fd = nullptr;
        ASSERT_EQ(S_OK, side->GetFuncDesc(i, &fd));
        EXPECT_EQ(want[i].id, fd->memid) << i;
        EXPECT_EQ(want[i].kind, fd->invkind) << i;
        EXPECT_EQ(want[i].params, fd->cParams) << i;
        EXPECT_EQ(want[i].optional, fd->cParamsOpt) << i;
        EXPECT_EQ(CC_STDCALL, fd->callconv);
        EXPECT_EQ(std::wstring(want[i].name), name_of(side.get(), fd->memid)) << i;
        EXPECT_EQ(std::wstring(want[i].help), doc_string(side.get(), fd->memid)) << i;
        side->ReleaseFuncDesc(fd);
    }
}

}  // namespace

TEST(TypeLibrary, LibraryAttributes) {
    CoInitialize(nullptr);
    {
        com_ptr<ITypeLib> lib = load_library();
        ASSERT_TRUE(lib);
        TLIBATTR* attr = nullptr;
        ASSERT_EQ(S_OK, lib->GetLibAttr(&attr));
        EXPECT_TRUE(IsEqualGUID(LIBID_DZxLauncherLib, attr->guid));
        EXPECT_EQ(1, attr->wMajorVerNum);
        EXPECT_EQ(0, attr->wMinorVerNum);
        EXPECT_EQ(gntest::kModuleSysKind, attr->syskind);
        // No library flags of its own (the loader marks every library it read from disk).
        EXPECT_EQ(0, attr->wLibFlags & ~LIBFLAG_FHASDISKIMAGE);
        EXPECT_EQ(0u, attr->lcid);
        lib->ReleaseTLibAttr(attr);

        BSTR name = nullptr, help = nullptr, file = nullptr;
        DWORD context = 1;
        ASSERT_EQ(S_OK, lib->GetDocumentation(-1, &name, &help, &context, &file));
        EXPECT_STREQ(L"DZxLauncherLib", name);
        EXPECT_STREQ(L"DZxLauncher 1.0 Type Library", help);
        EXPECT_EQ(0u, context);
        EXPECT_EQ(nullptr, file);
        SysFreeString(name);
        SysFreeString(help);
        SysFreeString(file);
    }
    CoUninitialize();
}

TEST(TypeLibrary, SevenTypesInOrderWithFlagsAndHelpStrings) {
    CoInitialize(nullptr);
    {
        com_ptr<ITypeLib> lib = load_library();
        ASSERT_TRUE(lib);
        struct Type {
            const wchar_t* name;
            const GUID* guid;
            TYPEKIND kind;
            WORD flags;
            const wchar_t* help;
        };
        const WORD dual = TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE;
        const Type want[] = {
            {L"ICtlHost6x", &IID_ICtlHost6x, TKIND_DISPATCH, dual, L"ICtlHost6x Interface"},
            {L"ILauncherEvent", &IID_ILauncherEvent, TKIND_INTERFACE, 0, L"ILauncherEvent Interface"},
            {L"ILauncherAdvise", &IID_ILauncherAdvise, TKIND_INTERFACE, 0, L"ILauncherAdvise Interface"},
            {L"MorvaneLauncher", &CLSID_MorvaneLauncher, TKIND_COCLASS, TYPEFLAG_FCANCREATE, L"MorvaneLauncher Class"},
            {L"ILauncher", &IID_ILauncher, TKIND_DISPATCH, dual, L"ILauncher Interface"},
            {L"MorvaneVersion", &CLSID_MorvaneVersion, TKIND_COCLASS, TYPEFLAG_FCANCREATE, L"MorvaneVersion Class"},
            {L"IMorvaneVersion", &IID_IMorvaneVersion, TKIND_DISPATCH, dual, L"IMorvaneVersion Interface"},
        };
        ASSERT_EQ(7u, lib->GetTypeInfoCount());
        for (UINT i = 0; i < 7; ++i) {
            com_ptr<ITypeInfo> info;
            ASSERT_EQ(S_OK, lib->GetTypeInfo(i, info.put()));
            TYPEATTR* attr = nullptr;
            ASSERT_EQ(S_OK, info->GetTypeAttr(&attr));
            EXPECT_TRUE(IsEqualGUID(*want[i].guid, attr->guid)) << i;
            EXPECT_EQ(want[i].kind, attr->typekind) << i;
            const WORD dispatch_side = attr->wTypeFlags;
            info->ReleaseTypeAttr(attr);
            // A dual interface records its flags on the method-table side; the
            // dispatch side is the same without the automation mark.
            com_ptr<ITypeInfo> side = vtable_side(info.get());
            ASSERT_EQ(S_OK, side->GetTypeAttr(&attr));
            EXPECT_EQ(want[i].flags, attr->wTypeFlags) << i;
            side->ReleaseTypeAttr(attr);
            if (want[i].kind == TKIND_DISPATCH) {
                EXPECT_EQ(want[i].flags & ~TYPEFLAG_FOLEAUTOMATION, dispatch_side) << i;
            }
            EXPECT_EQ(std::wstring(want[i].name), name_of(info.get(), MEMBERID_NIL)) << i;
            EXPECT_EQ(std::wstring(want[i].help), doc_string(info.get(), MEMBERID_NIL)) << i;
        }
    }
    CoUninitialize();
}

TEST(TypeLibrary, MembersAndTheirIdentifiers) {
    CoInitialize(nullptr);
    {
        com_ptr<ITypeLib> lib = load_library();
        ASSERT_TRUE(lib);
        auto info_of = [&](REFGUID guid) {
            com_ptr<ITypeInfo> info;
            lib->GetTypeInfoOfGuid(guid, info.put());
            return info;
        };
        expect_members(info_of(IID_ICtlHost6x).get(),
                       {{L"SRC", 0x60020000, INVOKE_PROPERTYGET, 1, 0, L"SRC property"},
                        {L"CreateControl6x", 0x60020001, INVOKE_FUNC, 5, 0, L"CreateControl"}});
        expect_members(info_of(IID_ILauncherEvent).get(),
                       {{L"OnDZxDataAvailable", 0x60010000, INVOKE_FUNC, 3, 0, L"method OnDZxDataAvailable"},
                        {L"OnAbort", 0x60010001, INVOKE_FUNC, 2, 0, L"method OnAbort"}});
        expect_members(info_of(IID_ILauncherAdvise).get(),
                       {{L"Advise", 0x60010000, INVOKE_FUNC, 1, 0, L"method Advise"},
                        {L"Navigate", 0x60010001, INVOKE_FUNC, 5, 4, L"method Navigate"}});
        expect_members(info_of(IID_ILauncher).get(), {});
        expect_members(info_of(IID_IMorvaneVersion).get(),
                       {{L"GetClientVersion", 1, INVOKE_FUNC, 1, 0, L"method GetClientVersion"},
                        {L"Map6xUrlTo8", 2, INVOKE_FUNC, 2, 0, L"method Map6xUrlTo8"},
                        {L"Clear6xUrlMap", 3, INVOKE_FUNC, 0, 0, L"method Clear6xUrlMap"}});

        // The launcher class: ILauncher as default, ILauncherAdvise plain, no source.
        com_ptr<ITypeInfo> coclass = info_of(CLSID_MorvaneLauncher);
        ASSERT_TRUE(coclass);
        int flags = -1;
        ASSERT_EQ(S_OK, coclass->GetImplTypeFlags(0, &flags));
        EXPECT_EQ(IMPLTYPEFLAG_FDEFAULT, flags);
        ASSERT_EQ(S_OK, coclass->GetImplTypeFlags(1, &flags));
        EXPECT_EQ(0, flags);
        EXPECT_NE(S_OK, coclass->GetImplTypeFlags(2, &flags));
    }
    CoUninitialize();
}

// IDispatch of the dual interfaces comes from the registered library.
class DispatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitialize(nullptr);
        ASSERT_EQ(S_OK, gntest::register_type_library(LoadedModule::module_path()));
    }
    void TearDown() override { CoUninitialize(); }
};

TEST_F(DispatchTest, NamesAreFoundExactlyAndThenCaseBlind) {
    LoadedModule module;
    com_ptr<IDispatch> dispatch;
    ASSERT_EQ(S_OK, module.create(CLSID_MorvaneVersion, dispatch.put()));
    UINT count = 0;
    EXPECT_EQ(S_OK, dispatch->GetTypeInfoCount(&count));
    EXPECT_EQ(1u, count);

    const wchar_t* names[] = {L"GetClientVersion", L"map6xurlto8", L"CLEAR6XURLMAP"};
    const DISPID want[] = {1, 2, 3};
    for (int i = 0; i < 3; ++i) {
        LPOLESTR name = const_cast<LPOLESTR>(names[i]);
        DISPID id = -7;
        EXPECT_EQ(S_OK, dispatch->GetIDsOfNames(IID_NULL, &name, 1, 0, &id)) << i;
        EXPECT_EQ(want[i], id) << i;
    }
    LPOLESTR unknown = const_cast<LPOLESTR>(L"NoSuchMember");
    DISPID id = 0;
    EXPECT_EQ(DISP_E_UNKNOWNNAME, dispatch->GetIDsOfNames(IID_NULL, &unknown, 1, 0, &id));

    com_ptr<ITypeInfo> info;
    EXPECT_EQ(S_OK, dispatch->GetTypeInfo(0, 0, info.put()));
    ASSERT_TRUE(info);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(S_OK, info->GetTypeAttr(&attr));
    EXPECT_TRUE(IsEqualGUID(IID_IMorvaneVersion, attr->guid));
    info->ReleaseTypeAttr(attr);
    EXPECT_EQ(E_POINTER, dispatch->GetTypeInfo(0, 0, nullptr));
    info.reset();
    dispatch.reset();
    EXPECT_EQ(S_OK, module.can_unload_now());
}

TEST_F(DispatchTest, LauncherDispatchHasNoMembers) {
    LoadedModule module;
    com_ptr<IDispatch> dispatch;
    ASSERT_EQ(S_OK, module.create(CLSID_MorvaneLauncher, dispatch.put()));
    LPOLESTR name = const_cast<LPOLESTR>(L"Advise");
    DISPID id = 0;
    EXPECT_EQ(DISP_E_UNKNOWNNAME, dispatch->GetIDsOfNames(IID_NULL, &name, 1, 0, &id));
    com_ptr<ITypeInfo> info;
    EXPECT_EQ(S_OK, dispatch->GetTypeInfo(0, 0, info.put()));
}

TEST_F(DispatchTest, UnregisteredLibraryFailsEveryDispatchCallButNotTheMethodTable) {
    ASSERT_EQ(S_OK, gntest::unregister_type_library());
    {
        LoadedModule module;  // a fresh load: nothing cached yet
        com_ptr<IMorvaneVersion> version;
        ASSERT_EQ(S_OK, module.create(CLSID_MorvaneVersion, version.put()));
        LPOLESTR name = const_cast<LPOLESTR>(L"GetClientVersion");
        DISPID id = 0;
        const HRESULT hr = version->GetIDsOfNames(IID_NULL, &name, 1, 0, &id);
        EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
        com_ptr<ITypeInfo> info;
        EXPECT_TRUE(FAILED(version->GetTypeInfo(0, 0, info.put())));
        EXPECT_FALSE(info);
        // The method table still answers.
        UINT count = 0;
        EXPECT_EQ(S_OK, version->GetTypeInfoCount(&count));

        // Once registered, the next call loads it.
        ASSERT_EQ(S_OK, gntest::register_type_library(LoadedModule::module_path()));
        EXPECT_EQ(S_OK, version->GetIDsOfNames(IID_NULL, &name, 1, 0, &id));
        EXPECT_EQ(1, id);
    }
}

TEST(VersionRecord, CarriesTheFileVersionAndTheBrowserFields) {
    const std::string path = LoadedModule::module_path();
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<char> data(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, data.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT len = 0;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &len));
    EXPECT_EQ(MAKELONG(GN_VERSION_MINOR, GN_VERSION_MAJOR), fixed->dwFileVersionMS);
    EXPECT_EQ(MAKELONG(GN_VERSION_REVISION, GN_VERSION_BUILD), fixed->dwFileVersionLS);
    EXPECT_EQ(fixed->dwFileVersionMS, fixed->dwProductVersionMS);
    EXPECT_EQ(static_cast<DWORD>(VFT_DLL), fixed->dwFileType);
    EXPECT_EQ(static_cast<DWORD>(VOS_NT_WINDOWS32), fixed->dwFileOS);
    auto field = [&](const char* name) {
        char* value = nullptr;
        UINT n = 0;
        std::string key = std::string("\\StringFileInfo\\040904e4\\") + name;
        if (!VerQueryValueA(data.data(), key.c_str(), reinterpret_cast<void**>(&value), &n)) return std::string("<missing>");
        return std::string(value);
    };
    EXPECT_EQ("application/x-quorquery|application/x-quorquerydata", field("MIMEType"));
    EXPECT_EQ("dzy,dz3,rvs|dzd", field("FileExtents"));
    EXPECT_EQ("QuorQuery(*.dzy,*.dz3)|QuorQueryData(*.dzd)", field("FileOpenName"));
    EXPECT_EQ("GNLauncher", field("InternalName"));
    EXPECT_EQ("GNLauncher.dll", field("OriginalFilename"));
    EXPECT_EQ("Veltrix", field("ProductName"));
    EXPECT_EQ(GN_VERSION_TEXT, field("FileVersion"));
    const std::string description = field("FileDescription");
    EXPECT_EQ('(', description.front());
    EXPECT_NE(std::string::npos, description.find(") Veltrix"));
}
