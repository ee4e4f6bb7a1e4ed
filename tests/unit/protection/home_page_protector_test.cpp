// The home-page protector's tick against an in-memory registry.
#include <gtest/gtest.h>

#include "core/protection/home_page_protector.h"
#include "fakes/fake_platform.h"

namespace pellora {
namespace {

class HomePageProtectorTest : public ::testing::Test {
  protected:
    HomePageProtectorTest() {
        state.lstSettingsFile = {"0", "0", "1", "1", "0", "0", "http://home.example/", "My Browser", "30", "0", "10"};
        state.homePageTimerEnabled = true;
    }
    std::optional<RegValue> Value(const char* name) { return fake.registry.Value(kHomePageKeyPath, name); }

    fakes::FakePlatform fake;
    AppState state;
    RegistryAccess registry{fake.registry, fake.ui};
    HomePageProtector protector{state, registry};
};

TEST_F(HomePageProtectorTest, EachTickPutsBothProtectedValuesBackAsText) {
    struct Case {
        std::optional<RegValue> startPage;  // before the tick; nothing: no value
        std::string protectedPage;
    };
    const Case cases[] = {
        {RegValue{kRegSz, "http://hijacker.example/"}, "http://home.example/"},
        {std::nullopt, "http://home.example/"},
        {RegValue{kRegExpandSz, "http://home.example/"}, "http://home.example/"},
        {RegValue{kRegSz, "http://hijacker.example/"}, ""},  // empty is written as empty
        {std::nullopt, ""},
        {RegValue{kRegSz, "http://home.example/"}, "http://home.example/"},
    };
    for (const Case& c : cases) {
        fake.registry.DeleteKey(RootKey::CurrentUser, "Software\\Microsoft\\Internet Explorer\\Main");
        fake.registry.AddKey(kHomePageKeyPath);
        if (c.startPage)
            fake.registry.AddValue(kHomePageKeyPath, "Start Page", *c.startPage);
        fake.registry.AddString(kHomePageKeyPath, "Window Title", "Hacked Browser");
        state.lstSettingsFile[6] = c.protectedPage;

        protector.tmrHomePageCheck_Timer();
        auto page = Value("Start Page");
        ASSERT_TRUE(page) << c.protectedPage;
        EXPECT_EQ(page->type, kRegSz);
        EXPECT_EQ(page->data, c.protectedPage);
        auto title = Value("Window Title");
        ASSERT_TRUE(title);
        EXPECT_EQ(title->data, "My Browser");
    }
    EXPECT_TRUE(fake.ui.messages.empty());
}

TEST_F(HomePageProtectorTest, WritesNothingWhenOffAndNeverCreatesTheKey) {
    fake.registry.AddString(kHomePageKeyPath, "Start Page", "http://hijacker.example/");
    state.homePageTimerEnabled = false;
    protector.tmrHomePageCheck_Timer();
    EXPECT_EQ(Value("Start Page")->data, "http://hijacker.example/");
    EXPECT_FALSE(Value("Window Title"));

    fake.registry.DeleteKey(RootKey::CurrentUser, "Software\\Microsoft\\Internet Explorer\\Main");
    state.homePageTimerEnabled = true;
    protector.tmrHomePageCheck_Timer();
    EXPECT_FALSE(fake.registry.HasKey(kHomePageKeyPath));
    EXPECT_TRUE(fake.ui.messages.empty());
    // Once the key is there again, the next tick writes.
    fake.registry.AddKey(kHomePageKeyPath);
    protector.tmrHomePageCheck_Timer();
    EXPECT_EQ(Value("Start Page")->data, "http://home.example/");
}

}  // namespace
}  // namespace pellora
