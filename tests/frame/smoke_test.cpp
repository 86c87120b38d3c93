#include <gtest/gtest.h>

#include "frame/interfaces.h"
#include "support/module.h"

TEST(Smoke, LoadsAndCreatesLauncher) {
    CoInitialize(nullptr);
    {
        gntest::LoadedModule m;
        ASSERT_TRUE(m.loaded());
        gn::com_ptr<IUnknown> unk;
        EXPECT_EQ(S_OK, m.create(CLSID_MorvaneLauncher, IID_IUnknown, unk.put_void()));
        unk.reset();
        EXPECT_EQ(S_OK, m.can_unload_now());
    }
    CoUninitialize();
}
