// Class objects, the lock count, aggregation and the interface maps of the
// module's two classes, reached through the module's exports.
#include <gtest/gtest.h>

#include <docobj.h>
#include <ocidl.h>
#include <urlmon.h>

#include "frame/interfaces.h"
#include "frame/object.h"
#include "support/expect.h"
#include "support/module.h"

using gn::com_ptr;
using gntest::LoadedModule;

namespace {

class ModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        ASSERT_TRUE(module.loaded());
    }
    void TearDown() override {
        EXPECT_EQ(S_OK, module.can_unload_now());
        module.unload();
        CoUninitialize();
    }
    LoadedModule module;
};

const CLSID* const kAllClasses[] = {&CLSID_MorvaneLauncher, &gn::CLSID_MorvaneLauncherData,
                                    &CLSID_MorvaneVersion};

// An outer object for aggregation: holds the inner unknown, delegates nothing.
class Outer final : public gn::implements<Outer, gn::no_lock, IUnknown> {};

}  // namespace

TEST_F(ModuleTest, ExportsFiveFunctionsByOrdinal) {
    const char* names[] = {"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer",
                           "DllUnregisterServer", "DllInstall"};
    for (int ordinal = 1; ordinal <= 5; ++ordinal) {
        FARPROC by_ordinal = GetProcAddress(module.handle(), MAKEINTRESOURCEA(ordinal));
        EXPECT_NE(nullptr, by_ordinal) << ordinal;
        EXPECT_EQ(by_ordinal, GetProcAddress(module.handle(), names[ordinal - 1])) << ordinal;
    }
    EXPECT_EQ(nullptr, GetProcAddress(module.handle(), MAKEINTRESOURCEA(6)));
}

TEST_F(ModuleTest, ClassObjectsAreCachedAndEachCallerHoldsItsOwnReference) {
    for (const CLSID* clsid : kAllClasses) {
        com_ptr<IClassFactory> first, second;
        ASSERT_EQ(S_OK, module.get_class_object(*clsid, IID_IClassFactory, first.put_void()));
        ASSERT_EQ(S_OK, module.get_class_object(*clsid, IID_IClassFactory, second.put_void()));
        EXPECT_EQ(first.get(), second.get());
        first.reset();
        // The second reference still works after the first is gone.
        com_ptr<IUnknown> object;
        EXPECT_EQ(S_OK, second->CreateInstance(nullptr, IID_IUnknown, object.put_void()));
    }
}

TEST_F(ModuleTest, DataFileClassMakesLaunchersThatReportTheDocumentClass) {
    com_ptr<IPersistMoniker> persist;
    ASSERT_EQ(S_OK, module.create(gn::CLSID_MorvaneLauncherData, persist.put()));
    CLSID clsid{};
    EXPECT_EQ(S_OK, persist->GetClassID(&clsid));
    EXPECT_TRUE(IsEqualCLSID(CLSID_MorvaneLauncher, clsid));
    com_ptr<IOleObject> ole = persist.try_query<IOleObject>();
    ASSERT_TRUE(ole);
    EXPECT_EQ(S_OK, ole->GetUserClassID(&clsid));
    EXPECT_TRUE(IsEqualCLSID(CLSID_MorvaneLauncher, clsid));
}

TEST_F(ModuleTest, BadArgumentsToTheExports) {
    EXPECT_EQ(E_POINTER, module.get_class_object(CLSID_MorvaneLauncher, IID_IClassFactory, nullptr));
    void* out = gntest::poison<void*>();
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, module.get_class_object(IID_IUnknown, IID_IClassFactory, &out));
    EXPECT_EQ(nullptr, out);
    out = gntest::poison<void*>();
    EXPECT_EQ(E_NOINTERFACE, module.get_class_object(CLSID_MorvaneVersion, IID_IDispatch, &out));
    EXPECT_EQ(nullptr, out);

    com_ptr<IClassFactory> factory;
    ASSERT_EQ(S_OK, module.get_class_object(CLSID_MorvaneVersion, IID_IClassFactory, factory.put_void()));
    EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_IUnknown, nullptr));
    out = gntest::poison<void*>();
    EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_IOleObject, &out));
    EXPECT_EQ(nullptr, out);
}

TEST_F(ModuleTest, LockCountFollowsObjectsAndLockServerButNotClassObjects) {
    com_ptr<IClassFactory> factory;
    ASSERT_EQ(S_OK, module.get_class_object(CLSID_MorvaneLauncher, IID_IClassFactory, factory.put_void()));
    EXPECT_EQ(S_OK, module.can_unload_now()) << "a class object alone keeps nothing loaded";

    com_ptr<IUnknown> launcher, version;
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IUnknown, launcher.put_void()));
    ASSERT_EQ(S_OK, module.create(CLSID_MorvaneVersion, IID_IUnknown, version.put_void()));
    EXPECT_EQ(S_FALSE, module.can_unload_now());
    launcher.reset();
    EXPECT_EQ(S_FALSE, module.can_unload_now());
    version.reset();
    EXPECT_EQ(S_OK, module.can_unload_now());

    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    EXPECT_EQ(S_FALSE, module.can_unload_now());
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    EXPECT_EQ(S_FALSE, module.can_unload_now());
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    EXPECT_EQ(S_OK, module.can_unload_now());
}

TEST_F(ModuleTest, AggregationOnlyThroughIUnknown) {
    for (const CLSID* clsid : kAllClasses) {
        com_ptr<Outer> outer = gn::make<Outer>();
        com_ptr<IClassFactory> factory;
        ASSERT_EQ(S_OK, module.get_class_object(*clsid, IID_IClassFactory, factory.put_void()));

        void* out = gntest::poison<void*>();
        EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(outer.get(), IID_IDispatch, &out));
        EXPECT_EQ(nullptr, out);

        IUnknown* inner = nullptr;
        ASSERT_EQ(S_OK, factory->CreateInstance(outer.get(), IID_IUnknown, reinterpret_cast<void**>(&inner)));
        EXPECT_EQ(S_FALSE, module.can_unload_now());
        // The inner unknown answers IUnknown with itself and hands out
        // interfaces whose reference counting goes to the outer object.
        IUnknown* again = nullptr;
        ASSERT_EQ(S_OK, inner->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&again)));
        EXPECT_EQ(inner, again);
        again->Release();
        IDispatch* dispatch = nullptr;
        ASSERT_EQ(S_OK, inner->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)));
        EXPECT_EQ(2u, gntest::refs(outer.get()));
        IUnknown* identity = nullptr;
        ASSERT_EQ(S_OK, dispatch->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)));
        EXPECT_EQ(static_cast<IUnknown*>(outer.get()), identity);
        identity->Release();
        dispatch->Release();
        EXPECT_EQ(1u, gntest::refs(outer.get()));
        EXPECT_EQ(0u, inner->Release());
        EXPECT_EQ(S_OK, module.can_unload_now());
    }
}

TEST_F(ModuleTest, LauncherAnswersItsListedInterfacesAndRefusesOthers) {
    com_ptr<IUnknown> unk;
    ASSERT_EQ(S_OK, module.create(CLSID_MorvaneLauncher, IID_IUnknown, unk.put_void()));
    auto query = [&](REFIID riid) {
        void* p = gntest::poison<void*>();
        HRESULT hr = unk->QueryInterface(riid, &p);
        if (SUCCEEDED(hr)) static_cast<IUnknown*>(p)->Release();
        return std::make_pair(hr, p);
    };
    const IID* answered[] = {&IID_ILauncher, &IID_IDispatch, &IID_IOleControl, &IID_IOleObject,
                             &IID_IOleInPlaceObjectWindowless, &IID_IOleInPlaceObject,
                             &IID_IOleWindow, &IID_IOleInPlaceActiveObject, &IID_IPersistMoniker,
                             &IID_IMonikerProp, &IID_IBindStatusCallback, &IID_IOleDocument,
                             &IID_IOleDocumentView, &IID_ILauncherAdvise};
    for (const IID* iid : answered) EXPECT_EQ(S_OK, query(*iid).first);

    EXPECT_EQ(query(IID_ILauncher).second, unk.get()) << "ILauncher is the identity";
    EXPECT_EQ(query(IID_IDispatch).second, unk.get());
    void* windowless = query(IID_IOleInPlaceObjectWindowless).second;
    EXPECT_EQ(windowless, query(IID_IOleInPlaceObject).second);
    EXPECT_EQ(windowless, query(IID_IOleWindow).second);

    const IID* refused[] = {&IID_ILauncherEvent, &IID_IPersist, &IID_IPersistStreamInit,
                            &IID_IOleCommandTarget, &IID_IViewObject, &IID_IProvideClassInfo,
                            &IID_IConnectionPointContainer, &IID_IMorvaneVersion,
                            &IID_ICtlHost6x, &IID_IClassFactory};
    for (const IID* iid : refused) {
        auto r = query(*iid);
        EXPECT_EQ(E_NOINTERFACE, r.first);
        EXPECT_EQ(nullptr, r.second);
    }
    EXPECT_EQ(E_POINTER, unk->QueryInterface(IID_IUnknown, nullptr));
}

TEST_F(ModuleTest, VersionServiceIsItsOwnDispatchAndNoLauncher) {
    com_ptr<IUnknown> unk;
    ASSERT_EQ(S_OK, module.create(CLSID_MorvaneVersion, IID_IUnknown, unk.put_void()));
    com_ptr<IMorvaneVersion> version = unk.try_query<IMorvaneVersion>();
    com_ptr<IDispatch> dispatch = unk.try_query<IDispatch>();
    ASSERT_TRUE(version && dispatch);
    EXPECT_EQ(static_cast<void*>(version.get()), static_cast<void*>(unk.get()));
    EXPECT_EQ(static_cast<void*>(dispatch.get()), static_cast<void*>(unk.get()));
    EXPECT_FALSE(unk.try_query<ILauncher>());
    EXPECT_FALSE(unk.try_query<IOleObject>());
}

namespace {
struct ThreadArgs {
    LoadedModule* module;
    LONG failures;
};
DWORD WINAPI create_many(void* p) {
    auto* a = static_cast<ThreadArgs*>(p);
    CoInitialize(nullptr);
    for (int i = 0; i < 200; ++i) {
        com_ptr<IUnknown> unk;
        const CLSID& clsid = (i % 2) ? CLSID_MorvaneVersion : CLSID_MorvaneLauncher;
        if (FAILED(a->module->create(clsid, IID_IUnknown, unk.put_void())))
            InterlockedIncrement(&a->failures);
    }
    CoUninitialize();
    return 0;
}
}  // namespace

TEST_F(ModuleTest, ObjectsFromSeveralThreadsKeepTheCountExact) {
    ThreadArgs args{&module, 0};
    HANDLE threads[4];
    for (HANDLE& t : threads)
        t = CreateThread(nullptr, 0, create_many, &args, 0, nullptr);
    WaitForMultipleObjects(4, threads, TRUE, INFINITE);
    for (HANDLE t : threads) CloseHandle(t);
    EXPECT_EQ(0, args.failures);
}
