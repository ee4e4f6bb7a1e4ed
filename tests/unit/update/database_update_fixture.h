// The fixture of the database update's tests: the in-memory ports, an installed database of
// serial 1, a trusted test key, and helpers that serve downloads and read what was installed.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <new>

#include "core/app/app.h"
#include "core/database/item_parser.h"
#include "core/database/key_format.h"
#include "core/database/unlock.h"
#include "core/settings/settings_files.h"
#include "core/update/update_checks.h"
#include "core/util/text.h"
#include "fakes/fake_http.h"
#include "fakes/fake_platform.h"

namespace pellora::update_testing {

constexpr const char* kApp = "C:\\Pellora";
constexpr const char* kRef = "C:\\Pellora\\DataBase.ref";
constexpr const char* kTmp = "C:\\Pellora\\DataBase.tmp";
constexpr const char* kBak = "C:\\Pellora\\DataBase.bak";
constexpr const char* kSig = "C:\\Pellora\\DataBase.sig";
constexpr const char* kBakSig = "C:\\Pellora\\DataBase.bak.sig";
constexpr const char* kUrl = "http://db.example/members/DataBase.ref";
constexpr const char* kSigUrl = "http://db.example/members/DataBase.ref.sig";

// Downloads are of serial 2 unless said otherwise; the installed database is of serial 1.
inline std::string MakeDatabase(size_t length, const std::string& version, std::optional<uint64_t> serial = 2) {
    return fakes::LockedDatabase(length, version, serial);
}

inline std::string Key(char seed) {
    return std::string(64, seed);
}

class DatabaseUpdateTest : public ::testing::Test {
  protected:
    DatabaseUpdateTest() {
        fake.system.appFolder = kApp;
        fake.files.AddFolder("C:\\Pellora\\Settings");
        fake.files.AddFile("C:\\Pellora\\Keys\\test-signing-key.pem", fakes::PublicKeyPem(Key('k')));
        fake.files.AddFile(kRef, oldDatabase);
        app.state().lstSettingsFile = DefaultSettingsLines("about:blank");
        update.onLogLine = [this](const std::string& line) { log.push_back(line); };
        app.state().update.address = kUrl;
    }

    void Serve(const std::string& body, const std::string& signedBytes, char key = 'k') {
        fakes::FakeHttp::Response response;
        response.body = body;
        http.responses[kUrl] = response;
        fakes::FakeHttp::Response signature;
        signature.body = EcdsaSignatureToDer(fakes::FakeSign(Key(key), signedBytes));
        http.responses[kSigUrl] = signature;
    }
    void Serve(const std::string& body) { Serve(body, body); }

    void ExpectRefused(const std::string& why) {
        EXPECT_EQ(update.LastOutcome(), UpdateOutcome::Refused) << why;
        ASSERT_FALSE(fake.ui.messages.empty()) << why;
        EXPECT_EQ(fake.ui.messages.back().text, kUpdateRefusedText) << why;
        EXPECT_EQ(fake.ui.messages.back().title, "Error") << why;
        EXPECT_EQ(fake.ui.messages.back().icon, MsgIcon::Error) << why;
        EXPECT_TRUE(fake.files.Content(kRef) == installed) << why;
        EXPECT_FALSE(fake.files.Exists(kBak)) << why;
        ExpectIdle(why);
        ASSERT_FALSE(log.empty());
        EXPECT_NE(log.back().find("refused: "), std::string::npos) << log.back();
    }
    void ExpectIdle(const std::string& why) {
        EXPECT_FALSE(fake.files.Exists(kTmp)) << why;
        EXPECT_FALSE(app.state().busy) << why;
        EXPECT_FALSE(app.state().update.downloading) << why;
        EXPECT_EQ(app.state().update.progressValue, 0) << why;
    }

    const std::string oldDatabase = MakeDatabase(1000, "Old Database 1", 1);
    std::string installed = oldDatabase;  // what a refusal leaves as DataBase.ref
    fakes::FakePlatform fake;
    fakes::FakeHttp http;
    fakes::FakeSignatures signatures;
    Ports ports{fake.registry, fake.files, fake.processes, fake.shell,  fake.clock,
                fake.system,   fake.ui,    &http,          &signatures, &fake.events};
    App app{ports};
    DatabaseUpdate& update = app.databaseUpdate();
    std::vector<std::string> log;
};

}  // namespace pellora::update_testing
