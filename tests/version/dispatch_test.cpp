// The three methods reached the way a web page reaches them: IDispatch, by
// name and by dispatch identifier, through the registered type library.
#include "version_fixture.h"

using vt::VersionService;
using vt::lines;

namespace {

class VersionDispatch : public VersionService {
protected:
    void SetUp() override {
        VersionService::SetUp();
        if (HasFatalFailure()) return;
        // Registered into the sandboxed HKEY_CLASSES_ROOT, where the module looks.
        ASSERT_EQ(S_OK, gntest::register_type_library(gntest::LoadedModule::module_path()));
        ASSERT_EQ(S_OK, ver_->QueryInterface(IID_IDispatch, disp_.put_void()));
    }
    void TearDown() override {
        disp_.reset();
        VersionService::TearDown();
    }

    DISPID id_of(const wchar_t* name) {
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        DISPID id = DISPID_UNKNOWN;
        EXPECT_EQ(S_OK, disp_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));
        return id;
    }
    // Calls id as a method with args given in call order.
    HRESULT call(DISPID id, std::vector<VARIANT> args, VARIANT* result) {
        std::vector<VARIANT> reversed(args.rbegin(), args.rend());
        DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), nullptr,
                             static_cast<UINT>(reversed.size()), 0};
        UINT arg_err = 0;
        return disp_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                             result, nullptr, &arg_err);
    }
    static VARIANT bstr_arg(BSTR b) {
        VARIANT v;
        VariantInit(&v);
        V_VT(&v) = VT_BSTR;
        V_BSTR(&v) = b;
        return v;
    }

    gn::com_ptr<IDispatch> disp_;
};

}  // namespace

TEST_F(VersionDispatch, NamesAndIdentifiers) {
    EXPECT_EQ(1, id_of(L"GetClientVersion"));
    EXPECT_EQ(2, id_of(L"Map6xUrlTo8"));
    EXPECT_EQ(3, id_of(L"Clear6xUrlMap"));
    EXPECT_EQ(1, id_of(L"getclientversion"));  // script names ignore case

    LPOLESTR unknown[] = {const_cast<LPOLESTR>(L"GetServerVersion")};
    DISPID id = 0;
    EXPECT_EQ(DISP_E_UNKNOWNNAME,
              disp_->GetIDsOfNames(IID_NULL, unknown, 1, LOCALE_USER_DEFAULT, &id));
}

TEST_F(VersionDispatch, GetClientVersionByNameAndById) {
    set_mime_clsid(vt::kLauncherText);
    set_server(vt::kPluginCtlText, vt::fixture("verfix_8_2_1_45"));
    for (DISPID id : {id_of(L"GetClientVersion"), DISPID(1)}) {
        gn::unique_variant result;
        EXPECT_EQ(S_OK, call(id, {}, &result));
        ASSERT_EQ(VT_BSTR, V_VT(&result));
        EXPECT_STREQ(L"8.2.1.45", V_BSTR(&result));
    }
    // Nothing registered: the default text, still a success.
    RegDeleteTreeA(classes_, "MIME");
    gn::unique_variant result;
    EXPECT_EQ(S_OK, call(1, {}, &result));
    ASSERT_EQ(VT_BSTR, V_VT(&result));
    EXPECT_STREQ(L"0.0.0.0", V_BSTR(&result));
}

TEST_F(VersionDispatch, MapAndClearByNameAndById) {
    auto old_url = gn::unique_bstr::copy_of(L"http://old/a.dzy");
    auto new_url = gn::unique_bstr::copy_of(L"http://new/a.dzy");
    EXPECT_EQ(S_OK, call(id_of(L"Map6xUrlTo8"),
                         {bstr_arg(old_url.get()), bstr_arg(new_url.get())}, nullptr));
    std::string data;
    ASSERT_TRUE(read_mapping("http://old/a.dzy", &data));
    EXPECT_EQ(std::string("http://new/a.dzy\0", 17), data);

    auto old_b = gn::unique_bstr::copy_of(L"http://old/b.dzy");
    EXPECT_EQ(S_OK, call(2, {bstr_arg(old_b.get()), bstr_arg(new_url.get())}, nullptr));
    // Null strings from a script are empty: blank old URL fails, blank new removes.
    EXPECT_EQ(S_OK, call(2, {bstr_arg(nullptr), bstr_arg(new_url.get())}, nullptr));
    EXPECT_EQ(S_OK, call(2, {bstr_arg(old_b.get()), bstr_arg(nullptr)}, nullptr));
    EXPECT_FALSE(read_mapping("http://old/b.dzy"));
    EXPECT_EQ(1, map_value_count());

    EXPECT_EQ(S_OK, call(id_of(L"Clear6xUrlMap"), {}, nullptr));
    EXPECT_EQ(0, map_value_count());
    map(L"http://old/c.dzy", L"http://new/c.dzy");
    EXPECT_EQ(S_OK, call(3, {}, nullptr));
    EXPECT_EQ(0, map_value_count());

    EXPECT_EQ((lines{
                  vt::map_line("http://old/a.dzy", "http://new/a.dzy"),
                  vt::map_line("http://old/b.dzy", "http://new/a.dzy"),
                  vt::map_line("", "http://new/a.dzy"),
                  vt::kMapFailed,
                  vt::map_line("http://old/b.dzy", ""),
                  vt::kClearInvoked,
                  vt::map_line("http://old/c.dzy", "http://new/c.dzy"),
                  vt::kClearInvoked,
              }),
              log());
}

TEST_F(VersionDispatch, BadCallsFailWithoutReachingTheMethods) {
    auto one = gn::unique_bstr::copy_of(L"http://old/a.dzy");
    EXPECT_EQ(DISP_E_BADPARAMCOUNT, call(2, {bstr_arg(one.get())}, nullptr));
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, call(4, {}, nullptr));
    EXPECT_FALSE(key_exists(user_, vt::kMapKey));
    EXPECT_EQ(lines{}, log());
}
