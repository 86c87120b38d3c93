// The object base on its own: identity, aliases, aggregation and the lock
// policy, with a counter of this program's own as the lock.
#include <gtest/gtest.h>

#include <ocidl.h>

#include "frame/object.h"
#include "frame/result.h"

namespace {

LONG g_locks = 0;
struct test_lock : gn::lock_policy {
    static void lock() noexcept { ++g_locks; }
    static void unlock() noexcept { --g_locks; }
};

class Window final : public gn::implements<Window, test_lock, IOleInPlaceUIWindow,
                                           gn::alias<IOleWindow, IOleInPlaceUIWindow>,
                                           IPersist> {
public:
    STDMETHODIMP GetWindow(HWND*) override { return E_NOTIMPL; }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP GetBorder(LPRECT) override { return E_NOTIMPL; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return E_NOTIMPL; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return E_NOTIMPL; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return E_NOTIMPL; }
    STDMETHODIMP GetClassID(CLSID*) override { return E_NOTIMPL; }
};

class Inner final : public gn::implements<Inner, gn::no_lock, gn::aggregatable, IPersist> {
public:
    STDMETHODIMP GetClassID(CLSID*) override { return E_NOTIMPL; }
};

TEST(ObjectTest, ListedInterfacesShareOneIdentityAndTheLockLivesWithTheObject) {
    {
        gn::com_ptr<Window> window = gn::make<Window>();
        ASSERT_TRUE(window);
        EXPECT_EQ(1, g_locks);
        gn::com_ptr<IUnknown> identity = window.try_query<IUnknown>();
        EXPECT_EQ(static_cast<IUnknown*>(static_cast<IOleInPlaceUIWindow*>(window.get())),
                  identity.get());
        const gn::com_ptr<IOleInPlaceUIWindow> ui = window;  // converting copy
        EXPECT_EQ(static_cast<IOleWindow*>(ui.get()), window.try_query<IOleWindow>().get());
        EXPECT_EQ(identity.get(), window.try_query<IPersist>().try_query<IUnknown>().get());
        HRESULT hr = S_OK;
        EXPECT_FALSE(identity.query<IDispatch>(&hr));
        EXPECT_EQ(E_NOINTERFACE, hr);
    }
    EXPECT_EQ(0, g_locks);
}

TEST(ObjectTest, OnlyAggregatableClassesTakeAnOuterAndOnlyForIUnknown) {
    gn::com_ptr<Window> outer = gn::make<Window>();
    const gn::com_ptr<IUnknown> outer_unknown = outer.try_query<IUnknown>();
    gn::com_ptr<IUnknown> inner;
    EXPECT_EQ(CLASS_E_NOAGGREGATION,
              gn::create_instance<Window>(outer_unknown.get(), IID_IUnknown, inner.put_void()));
    EXPECT_EQ(CLASS_E_NOAGGREGATION,
              gn::create_instance<Inner>(outer_unknown.get(), IID_IPersist, inner.put_void()));
    ASSERT_EQ(S_OK, gn::create_instance<Inner>(outer_unknown.get(), IID_IUnknown, inner.put_void()));
    // The inner unknown answers itself; its interfaces answer for the outer.
    EXPECT_EQ(inner.get(), inner.try_query<IUnknown>().get());
    gn::com_ptr<IPersist> persist = inner.try_query<IPersist>();
    ASSERT_TRUE(persist);
    EXPECT_TRUE(persist.try_query<IOleWindow>());
}

}  // namespace

// An early return leaves with its result either way; only a failure, never an
// answer (the _EXPECTED forms) or a success, reaches the reporter.
TEST(ObjectTest, AnswersLeaveWithoutAReport) {
    using form = HRESULT (*)(HRESULT);
    const form forms[] = {[](HRESULT hr) {
                              RETURN_HR_IF(hr, true);
                              return E_UNEXPECTED;
                          },
                          [](HRESULT hr) {
                              RETURN_IF_FAILED_EXPECTED(hr);
                              return hr;
                          },
                          [](HRESULT hr) {
                              RETURN_HR_IF_EXPECTED(hr, true);
                              return E_UNEXPECTED;
                          },
                          [](HRESULT hr) {
                              RETURN_HR_IF_NULL_EXPECTED(hr, static_cast<void*>(nullptr));
                              return E_UNEXPECTED;
                          }};
    for (const HRESULT hr : {E_FAIL, S_FALSE})
        for (size_t i = 0; i < 4; ++i) {
            const unsigned long before = gn::failure_count();
            EXPECT_EQ(hr, forms[i](hr)) << i;
            EXPECT_EQ(before + (i == 0 && hr == E_FAIL), gn::failure_count()) << i;
        }
}
