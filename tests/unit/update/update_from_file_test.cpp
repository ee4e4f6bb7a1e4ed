// A database installed from a file or a share goes through the download's checks.
#include "database_update_fixture.h"

namespace pellora {
namespace {

using namespace update_testing;

TEST_F(DatabaseUpdateTest, InstallsFromAFileWithTheChecksOfADownload) {
    const std::string share = "\\\\depot\\pellora\\DataBase.ref";
    const std::string shareSig = share + ".sig";
    fake.files.AddFolder("\\\\depot\\pellora");
    auto offer = [&](const std::string& body, const std::string& signedBytes, char key = 'k') {
        fake.files.AddFile(share, body);
        fake.files.AddFile(shareSig, EcdsaSignatureToDer(fakes::FakeSign(Key(key), signedBytes)));
    };
    const std::string good = MakeDatabase(950000, "From The Share 2");
    struct Case {
        const char* name;
        std::function<void()> offer;
        const char* reason;
    } cases[] = {
        {"unsigned",
         [&] {
             offer(good, good);
             fake.files.DeleteFile(shareSig);
         },
         "no signature: cannot open \\\\depot\\pellora\\DataBase.ref.sig"},
        {"signed by an unknown key", [&] { offer(good, good, 'u'); }, "does not verify with any trusted key"},
        {"signature of another file", [&] { offer(good, MakeDatabase(950000, "Other 2")); }, "does not verify"},
        {"an older edition",
         [&] { offer(MakeDatabase(950000, "Replayed 1", 1), MakeDatabase(950000, "Replayed 1", 1)); },
         "its serial 1 is not above the installed database's serial 1"},
        {"too short", [&] { offer(MakeDatabase(899999, "Short 2"), MakeDatabase(899999, "Short 2")); },
         "fewer than 900000"},
        {"too large",
         [&] {
             offer(good, good);
             fake.files.AddFile(share, good + std::string(kMaxDatabaseLength + 1 - good.size(), '\0'));
         },
         "larger than 67108864 bytes"},
    };
    for (const Case& c : cases) {
        fake.ui.messages.clear();
        log.clear();
        fake.events.events.clear();
        c.offer();
        update.UpdateFromFile(share);
        ExpectRefused(c.name);
        EXPECT_NE(update.LastReason().find(c.reason), std::string::npos) << c.name << ": " << update.LastReason();
        // The event log has the refusal with its reason.
        ASSERT_EQ(fake.events.events.size(), 1u) << c.name;
        EXPECT_EQ(fake.events.events[0].id, event_id::kUpdateRefused);
        EXPECT_EQ(fake.events.events[0].inserts, (std::vector<std::string>{share, update.LastReason()}));
    }

    // A path that is no file fails without touching the database.
    for (const std::string& missing :
         {std::string("\\\\depot\\pellora\\none.ref"), std::string("\\\\depot\\pellora")}) {
        update.UpdateFromFile(missing);
        EXPECT_EQ(update.LastOutcome(), UpdateOutcome::Failed) << missing;
        EXPECT_TRUE(fake.files.Content(kRef) == installed);
        ExpectIdle(missing);
    }
    // Without a trusted key too: what is wrong with what the user typed is said first.
    fake.files.DeleteFile("C:\\Pellora\\Keys\\test-signing-key.pem");
    update.UpdateFromFile("\\\\depot\\pellora\\none.ref");
    EXPECT_EQ(update.LastOutcome(), UpdateOutcome::Failed);
    EXPECT_NE(update.LastReason().find("cannot open \\\\depot\\pellora\\none.ref"), std::string::npos)
        << update.LastReason();
    fake.files.AddFile("C:\\Pellora\\Keys\\test-signing-key.pem", fakes::PublicKeyPem(Key('k')));

    // A sound one is installed as a download is: the old one kept, its signature beside it.
    offer(good, good);
    update.UpdateFromFile(share);
    ASSERT_EQ(update.LastOutcome(), UpdateOutcome::Installed) << update.LastReason();
    EXPECT_TRUE(fake.files.Content(kRef) == good);
    EXPECT_TRUE(fake.files.Content(kBak) == oldDatabase);
    EXPECT_EQ(fake.files.Content(kSig), fake.files.Content(shareSig));
    EXPECT_EQ(app.state().lstDBaseFile.at(0), "From The Share 2");
    ExpectIdle("installed");
    EXPECT_NE(log.back().find("from \\\\depot\\pellora\\DataBase.ref (signed with test-signing-key.pem)"),
              std::string::npos)
        << log.back();
    ASSERT_EQ(fake.events.Of(event_id::kUpdateInstalled).size(), 1u);
    EXPECT_EQ(fake.events.Of(event_id::kUpdateInstalled)[0].inserts,
              (std::vector<std::string>{"From The Share 2", share, "test-signing-key.pem"}));
    std::string reason;
    ASSERT_TRUE(update.Rollback(reason)) << reason;
    EXPECT_TRUE(fake.files.Content(kRef) == oldDatabase);
}

}  // namespace
}  // namespace pellora
