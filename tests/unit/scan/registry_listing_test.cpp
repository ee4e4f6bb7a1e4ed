#include <gtest/gtest.h>

#include "core/scan/registry_listing.h"
#include "fakes/fake_platform.h"

namespace pellora {
namespace {

class RegistryListing : public ::testing::Test {
  protected:
    RegistryListing() { state.busy = true; }
    std::vector<std::string> Rows() const {
        std::vector<std::string> rows;
        for (size_t i = 0; i < state.lstRegScan.Count(); ++i)
            rows.emplace_back(state.lstRegScan[i]);
        return rows;
    }
    void List(const char* rootName, const char* keyPath) {
        regScan.ListRegistryKeys(RootHandleFromName(rootName), keyPath, rootName);
    }

    fakes::FakePlatform p;
    AppState state;
    RegScan regScan{state, p.registry, p.ui};
};

TEST_F(RegistryListing, ListsTheKeyFirstThenItsSubtreeDepthFirst) {
    p.registry.AddKey("HKEY_CURRENT_USER\\Software\\A\\A1");
    p.registry.AddKey("HKEY_CURRENT_USER\\Software\\B");
    p.registry.AddKey("HKEY_CURRENT_USER\\Other");
    List("HKEY_CURRENT_USER", "Software");
    EXPECT_EQ(Rows(),
              (std::vector<std::string>{"HKEY_CURRENT_USER\\Software", "HKEY_CURRENT_USER\\Software\\A",
                                        "HKEY_CURRENT_USER\\Software\\A\\A1", "HKEY_CURRENT_USER\\Software\\B"}));
    state.lstRegScan.Clear();
    List("HKEY_CURRENT_USER", "Software\\B");
    EXPECT_EQ(Rows(), (std::vector<std::string>{"HKEY_CURRENT_USER\\Software\\B"}));
}

TEST_F(RegistryListing, LeavesOutKeysWithoutWriteAccessWithTheirSubtrees) {
    p.registry.AddKey("HKEY_LOCAL_MACHINE\\System\\Locked\\Inner");
    p.registry.DenyWrite("HKEY_LOCAL_MACHINE\\System\\Locked");
    p.registry.AddKey("HKEY_LOCAL_MACHINE\\System\\Open");
    List("HKEY_LOCAL_MACHINE", "System");
    EXPECT_EQ(Rows(), (std::vector<std::string>{"HKEY_LOCAL_MACHINE\\System", "HKEY_LOCAL_MACHINE\\System\\Open"}));
    regScan.AddRegistryKeyRow(RootKey::LocalMachine, "System\\Locked", "HKEY_LOCAL_MACHINE");
    regScan.AddRegistryKeyRow(RootKey::LocalMachine, "System\\Open", "HKEY_LOCAL_MACHINE");
    EXPECT_EQ(Rows().back(), "HKEY_LOCAL_MACHINE\\System\\Open");
    EXPECT_EQ(Rows().size(), 3u);
}

TEST_F(RegistryListing, UnknownRootsListNothing) {
    p.registry.AddKey("HKEY_CURRENT_USER\\Software");
    EXPECT_EQ(RootHandleFromName("HKEY_DYN_DATA"), RootKey::DynData);
    EXPECT_EQ(RootHandleFromName("hkey_current_user"), RootKey::None);
    List("HKCU", "Software");
    List("hkey_current_user", "Software");
    List("HKEY_DYN_DATA", "Software");
    EXPECT_TRUE(Rows().empty());
}

TEST_F(RegistryListing, ClearingTheBusyFlagStopsBeforeTheNextSubkey) {
    for (int i = 0; i < 10; ++i)
        p.registry.AddKey("HKEY_USERS\\S\\K" + std::to_string(i));
    p.ui.onYield = [&] {
        if (state.lstRegScan.Count() == 4)
            state.busy = false;
    };
    List("HKEY_USERS", "S");
    EXPECT_EQ(Rows().size(), 4u);
}

TEST_F(RegistryListing, ListsEverySubkeyOfAVeryWideKey) {
    for (int i = 0; i < 33000; ++i)
        p.registry.AddKey("HKEY_USERS\\Wide\\K" + std::to_string(i));
    List("HKEY_USERS", "Wide");
    EXPECT_EQ(state.lstRegScan.Count(), 33001u);
}

}  // namespace
}  // namespace pellora
