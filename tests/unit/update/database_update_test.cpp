// The database update over the in-memory ports: every kind of bad download is refused with
// DataBase.ref untouched and DataBase.tmp gone; a sound one is installed with the old one kept
// as DataBase.bak; an installation stopped between any two steps leaves a loadable database.
#include "database_update_fixture.h"

namespace pellora {
namespace {

using namespace update_testing;

TEST_F(DatabaseUpdateTest, InstallsASoundSignedDatabaseAndKeepsTheOldOne) {
    const std::string body = MakeDatabase(900000, "New Database 2");
    Serve(body);
    update.cmdUpdateNow_Click();
    EXPECT_EQ(update.LastOutcome(), UpdateOutcome::Installed) << update.LastReason();
    EXPECT_TRUE(fake.files.Content(kRef) == body);
    EXPECT_TRUE(fake.files.Content(kBak) == oldDatabase);
    EXPECT_EQ(app.state().lstDBaseFile.at(0), "New Database 2");
    EXPECT_EQ(app.state().status.dbaseVersion, "New Database 2");
    EXPECT_EQ(app.state().update.lblBytesRead, "Update installed successfully.");
    ASSERT_EQ(fake.ui.messages.size(), 1u);
    EXPECT_EQ(fake.ui.messages[0].text, "Download completed!");
    EXPECT_EQ(fake.ui.messages[0].icon, MsgIcon::Information);
    ExpectIdle("installed");
    EXPECT_NE(log.back().find("from http://db.example/members/DataBase.ref (signed with test-signing-key.pem)"),
              std::string::npos)
        << log.back();
    // Logging is on by default: the lines are in DavEre.roz too.
    EXPECT_NE(fake.files.Content("C:\\Pellora\\DavEre.roz").find("installed \"New Database 2\""), std::string::npos);

    // Rollback puts the old one back, and the replaced one becomes the backup.
    std::string reason;
    ASSERT_TRUE(update.Rollback(reason)) << reason;
    EXPECT_TRUE(fake.files.Content(kRef) == oldDatabase);
    EXPECT_TRUE(fake.files.Content(kBak) == body);
    EXPECT_EQ(app.state().lstDBaseFile.at(0), "Old Database 1");
}

TEST_F(DatabaseUpdateTest, RefusesEveryUnsoundDownload) {
    const std::string good = MakeDatabase(950000, "New Database 2");
    const std::string other = MakeDatabase(950000, "Other Database 3");
    struct Case {
        const char* name;
        std::function<void()> serve;
    } cases[] = {
        {"899,999 bytes", [&] { Serve(MakeDatabase(899999, "Short 1")); }},
        {"0 bytes", [&] { Serve(""); }},
        {"404 with an HTML body",
         [&] {
             Serve(good);
             http.responses[kUrl].status = 404;
             http.responses[kUrl].reason = "Not Found";
         }},
        {"500 with a large body",
         [&] {
             Serve(good);
             http.responses[kUrl].status = 500;
         }},
        {"body shorter than its Content-Length",
         [&] {
             Serve(good);
             http.responses[kUrl].contentLength = 960000;
         }},
        {"body longer than its Content-Length",
         [&] {
             Serve(good);
             http.responses[kUrl].contentLength = 940000;
         }},
        {"valid signature over another file", [&] { Serve(good, other); }},
        {"signature by an unknown key", [&] { Serve(good, good, 'u'); }},
        {"no .sig",
         [&] {
             Serve(good);
             http.responses.erase(kSigUrl);
         }},
        {".sig that is no signature",
         [&] {
             Serve(good);
             http.responses[kSigUrl].body = "not a signature";
         }},
        {"garbage that unlocks to nothing", [&] { Serve(std::string(950000, '\x01')); }},
        {"redirect to a file: address",
         [&] {
             Serve(good);
             http.responses[kUrl].status = 302;
             http.responses[kUrl].extraHeaders = {"Location: file:///C:/Windows/win.ini"};
         }},
    };
    for (const Case& c : cases) {
        http.responses.clear();
        fake.ui.messages.clear();
        c.serve();
        update.cmdUpdateNow_Click();
        ExpectRefused(c.name);
    }
}

TEST_F(DatabaseUpdateTest, KeepsTheSignatureBesideTheDatabaseAndChecksItAtEveryLoad) {
    // The installer's database has no signature file: it loads.
    app.database().LoadAndApplyDatabase();
    ASSERT_EQ(app.state().lstDBaseFile.at(0), "Old Database 1");

    const std::string body = MakeDatabase(900000, "New Database 2");
    Serve(body);
    update.cmdUpdateNow_Click();
    ASSERT_EQ(update.LastOutcome(), UpdateOutcome::Installed) << update.LastReason();
    EXPECT_EQ(fake.files.Content(kSig), http.responses[kSigUrl].body);
    EXPECT_FALSE(fake.files.Exists("C:\\Pellora\\DataBase.new.sig"));
    EXPECT_FALSE(fake.files.Exists(kBakSig));  // the installer's database had none

    // Changed after the update: not loaded, and the status panel and the scan's check say why.
    std::string changed = body;
    changed[changed.size() - 5] ^= 1;
    fake.files.AddFile(kRef, changed);
    app.database().LoadAndApplyDatabase();
    EXPECT_TRUE(app.state().lstDBaseFile.empty());
    EXPECT_EQ(app.state().status.dbaseVersion, "Not loaded: DataBase.ref does not match its signature DataBase.sig");
    ASSERT_EQ(fake.events.Of(event_id::kDatabaseSignatureFailed).size(), 1u);
    EXPECT_EQ(fake.events.Of(event_id::kDatabaseSignatureFailed)[0].inserts,
              std::vector<std::string>{"DataBase.ref does not match its signature DataBase.sig"});
    EXPECT_EQ(fake.events.Of(event_id::kDatabaseSignatureFailed)[0].level, EventLevel::Error);
    EXPECT_NE(app.database().Problem().find("does not match its signature"), std::string::npos);

    // A signature file that cannot be checked refuses too: no trusted key left.
    fake.files.AddFile(kRef, body);
    fake.files.DeleteFile("C:\\Pellora\\Keys\\test-signing-key.pem");
    app.database().LoadAndApplyDatabase();
    EXPECT_TRUE(app.state().lstDBaseFile.empty());
    EXPECT_NE(app.state().status.dbaseVersion.find("there is no trusted key"), std::string::npos);

    // An update replaces a database that fails its signature, whatever serial that one claims.
    const std::string claimsMore = MakeDatabase(900000, "Claims 99", 99);
    fake.files.AddFile("C:\\Pellora\\Keys\\test-signing-key.pem", fakes::PublicKeyPem(Key('k')));
    fake.files.AddFile(kRef, claimsMore);
    const std::string third = MakeDatabase(900000, "New Database 3", 3);
    Serve(third);
    update.cmdUpdateNow_Click();
    EXPECT_EQ(update.LastOutcome(), UpdateOutcome::Installed) << update.LastReason();
    EXPECT_EQ(app.state().lstDBaseFile.at(0), "New Database 3");
    fake.files.AddFile(kRef, body);
    fake.files.AddFile(kSig, EcdsaSignatureToDer(fakes::FakeSign(Key('k'), body)));

    // The sound pair loads again.
    app.database().LoadAndApplyDatabase();
    EXPECT_EQ(app.state().lstDBaseFile.at(0), "New Database 2");
    EXPECT_EQ(app.state().status.dbaseVersion, "New Database 2");
    EXPECT_EQ(app.database().Problem(), "");
}

TEST_F(DatabaseUpdateTest, RollbackChecksThePreviousDatabaseAgainstItsSignature) {
    const std::string second = MakeDatabase(900000, "New Database 2", 2);
    Serve(second);
    update.cmdUpdateNow_Click();
    const std::string secondSig = http.responses[kSigUrl].body;
    const std::string third = MakeDatabase(900000, "New Database 3", 3);
    Serve(third);
    update.cmdUpdateNow_Click();
    ASSERT_EQ(update.LastOutcome(), UpdateOutcome::Installed) << update.LastReason();
    const std::string thirdSig = http.responses[kSigUrl].body;
    ASSERT_TRUE(fake.files.Content(kBak) == second);
    EXPECT_EQ(fake.files.Content(kBakSig), secondSig);

    // A changed DataBase.bak is not put back.
    std::string changed = second;
    changed[changed.size() - 5] ^= 1;
    fake.files.AddFile(kBak, changed);
    std::string reason;
    EXPECT_FALSE(update.Rollback(reason));
    EXPECT_EQ(reason, "DataBase.bak does not match its signature DataBase.bak.sig");
    EXPECT_TRUE(fake.files.Content(kRef) == third);
    EXPECT_EQ(fake.files.Content(kSig), thirdSig);

    // The sound one goes back with its signature, and the replaced pair becomes the backup.
    fake.files.AddFile(kBak, second);
    ASSERT_TRUE(update.Rollback(reason)) << reason;
    EXPECT_TRUE(fake.files.Content(kRef) == second);
    EXPECT_EQ(fake.files.Content(kSig), secondSig);
    EXPECT_TRUE(fake.files.Content(kBak) == third);
    EXPECT_EQ(fake.files.Content(kBakSig), thirdSig);
    EXPECT_EQ(app.state().lstDBaseFile.at(0), "New Database 2");

    // Back to the installer's database, which has no signature: DataBase.sig goes with it, and
    // the next load accepts it as the installer's.
    ASSERT_TRUE(update.Rollback(reason)) << reason;  // to the third
    fake.files.AddFile(kBak, oldDatabase);
    fake.files.DeleteFile(kBakSig);
    ASSERT_TRUE(update.Rollback(reason)) << reason;
    EXPECT_TRUE(fake.files.Content(kRef) == oldDatabase);
    EXPECT_FALSE(fake.files.Exists(kSig));
    EXPECT_EQ(fake.files.Content(kBakSig), thirdSig);
    EXPECT_EQ(app.state().lstDBaseFile.at(0), "Old Database 1");
}

TEST_F(DatabaseUpdateTest, AnUpgradeKeepsTheNewerOfTheInstalledAndTheReleasesDatabase) {
    const std::string prev = "C:\\Pellora\\DataBase.prev";
    const std::string updated = MakeDatabase(900000, "Updated 9", 9);
    Serve(updated);
    update.cmdUpdateNow_Click();
    ASSERT_EQ(update.LastOutcome(), UpdateOutcome::Installed) << update.LastReason();
    const std::string updatedSig = fake.files.Content(kSig);
    // What the installer does: the installed database aside, the release's in its place.
    auto upgrade = [&](const std::string& installedBytes, const std::string& release) {
        fake.files.AddFile(prev, installedBytes);
        fake.files.AddFile(kRef, release);
        app.database().LoadAndApplyDatabase();
        EXPECT_FALSE(fake.files.Exists(prev));
    };

    // The release's starter is older: the update stays, with its signature, and loads.
    upgrade(updated, MakeDatabase(1000, "Release 3", 3));
    EXPECT_TRUE(fake.files.Content(kRef) == updated);
    EXPECT_EQ(fake.files.Content(kSig), updatedSig);
    EXPECT_EQ(app.state().lstDBaseFile.at(0), "Updated 9");

    // A set-aside database that fails its signature counts for nothing, whatever its serial.
    std::string changed = MakeDatabase(900000, "Changed 99", 99);
    const std::string release4 = MakeDatabase(1000, "Release 4", 4);
    upgrade(changed, release4);
    EXPECT_TRUE(fake.files.Content(kRef) == release4);
    EXPECT_FALSE(fake.files.Exists(kSig));  // it belonged to the other one
    EXPECT_EQ(app.state().lstDBaseFile.at(0), "Release 4");

    // A newer release replaces an older update.
    fake.files.AddFile(kRef, updated);
    fake.files.AddFile(kSig, updatedSig);
    const std::string release10 = MakeDatabase(1000, "Release 10", 10);
    upgrade(updated, release10);
    EXPECT_TRUE(fake.files.Content(kRef) == release10);
    EXPECT_FALSE(fake.files.Exists(kSig));
    EXPECT_EQ(app.state().lstDBaseFile.at(0), "Release 10");
}

TEST_F(DatabaseUpdateTest, ADownloadThatIsNotWholeIsRefusedEvenWhenItsSignatureVerifies) {
    // Signed as served: the producer's own copy was damaged before it was signed.
    const std::string whole = MakeDatabase(960000, "Whole 2", 2);
    std::string overwritten = whole;
    for (size_t i = whole.size() / 2; i < whole.size() / 2 + 1000; ++i) {
        if (overwritten[i] != '\r' && overwritten[i] != '\n')
            overwritten[i] = 'Q';
    }
    const std::string withoutTrailer = whole.substr(0, whole.rfind("\r\n", whole.size() - 3) + 2);
    const struct {
        const char* name;
        std::string body;
        const char* reason;
    } cases[] = {
        {"cut short", whole.substr(0, 930000), "its trailer line"},
        {"overwritten", overwritten, "does not match the digest"},
        {"no trailer line", withoutTrailer, "its trailer line is missing"},
    };
    for (const auto& c : cases) {
        Serve(c.body);
        update.cmdUpdateNow_Click();
        ExpectRefused(c.name);
        EXPECT_NE(update.LastReason().find("the file is damaged or incomplete: "), std::string::npos)
            << c.name << ": " << update.LastReason();
        EXPECT_NE(update.LastReason().find(c.reason), std::string::npos) << c.name << ": " << update.LastReason();
    }
    Serve(whole);
    update.cmdUpdateNow_Click();
    EXPECT_EQ(update.LastOutcome(), UpdateOutcome::Installed) << update.LastReason();
}

TEST_F(DatabaseUpdateTest, InstallsOnlyALaterEdition) {
    installed = MakeDatabase(1000, "Installed 7", 7);
    fake.files.AddFile(kRef, installed);
    struct Case {
        const char* name;
        std::string body;
        const char* reason;
    } cases[] = {
        {"an older edition, validly signed", MakeDatabase(900000, "Replayed 3", 3), "its serial 3 is not above"},
        {"the same serial", MakeDatabase(900000, "Same 7", 7), "its serial 7 is not above"},
        {"no serial line", MakeDatabase(900000, "Unnumbered", std::nullopt), "its serial 0 is not above"},
    };
    for (const Case& c : cases) {
        Serve(c.body);
        update.cmdUpdateNow_Click();
        ExpectRefused(c.name);
        EXPECT_NE(update.LastReason().find(c.reason), std::string::npos) << update.LastReason();
        // The window's update panel shows why.
        EXPECT_EQ(app.state().update.lblBytesRead, "Update refused: " + update.LastReason());
    }
    // A serial line that holds no number is refused, not read as 0.
    const std::string plain = "Broken\r\n@serial 12a\r\nfile|spy.exe|Test.Spyware|\r\n";
    std::string broken;
    for (const std::string& line : SplitTextLines(plain, false))
        broken += *LockText(line, kDatabaseKey) + "\r\n";
    broken += MakeDatabase(900000, "filler", std::nullopt).substr(broken.size());
    Serve(broken);
    update.cmdUpdateNow_Click();
    EXPECT_EQ(update.LastOutcome(), UpdateOutcome::Refused);
    EXPECT_NE(update.LastReason().find("holds no decimal number"), std::string::npos) << update.LastReason();

    const std::string later = MakeDatabase(900000, "Later 8", 8);
    Serve(later);
    update.cmdUpdateNow_Click();
    EXPECT_EQ(update.LastOutcome(), UpdateOutcome::Installed) << update.LastReason();
    EXPECT_TRUE(fake.files.Content(kRef) == later);
    // The serial line is reserved: the scan counts and matches only the item.
    EXPECT_EQ(app.state().lstDBaseFile.at(1), "@serial 8");
    EXPECT_EQ(KindOfLine(app.state().lstDBaseFile.at(1)), ItemKind::Unknown);
    EXPECT_EQ(ClassifyLine(2, app.state().lstDBaseFile.at(1)), LineKind::Reserved);
}

TEST_F(DatabaseUpdateTest, RefusesARedirectFromHttpsToHttp) {
    const std::string body = MakeDatabase(950000, "New Database 2");
    const std::string secure = "https://db.example/members/DataBase.ref";
    Serve(body);
    http.responses[secure].status = 302;
    http.responses[secure].extraHeaders = {"Location: http://db.example/members/DataBase.ref"};
    app.state().update.address = secure;
    update.cmdUpdateNow_Click();
    ExpectRefused("https to http");
    EXPECT_NE(update.LastReason().find("from https:// to http://"), std::string::npos) << update.LastReason();
    EXPECT_EQ(std::count(http.openedUrls.begin(), http.openedUrls.end(), kUrl), 0);

    // Upwards is fine: http:// to https://.
    const std::string secureSig = secure + ".sig";
    http.responses.clear();
    fakes::FakeHttp::Response served;
    served.body = body;
    http.responses[secure] = served;
    served.body = EcdsaSignatureToDer(fakes::FakeSign(Key('k'), body));
    http.responses[secureSig] = served;
    http.responses[kUrl].status = 301;
    http.responses[kUrl].extraHeaders = {"Location: " + secure};
    app.state().update.address = kUrl;
    http.responses[kSigUrl].status = 301;
    http.responses[kSigUrl].extraHeaders = {"Location: " + secureSig};
    update.cmdUpdateNow_Click();
    EXPECT_EQ(update.LastOutcome(), UpdateOutcome::Installed) << update.LastReason();
}

TEST_F(DatabaseUpdateTest, RefusesABodyOver64MiBWhileItArrives) {
    // Endless: the transfer stops at the limit, and DataBase.tmp never holds more.
    Serve(MakeDatabase(950000, "New Database 2"));
    http.responses[kUrl].noLength = true;
    http.responses[kUrl].endless = true;
    http.responses[kUrl].readPiece = 65536;
    size_t lastOffset = 0;
    uint64_t largestTmp = 0;
    http.onRead = [&](size_t offset) {
        lastOffset = offset;
        std::vector<FindEntry> tmp;
        if (offset + 4 * 65536 > kMaxDatabaseLength && fake.files.FindEntries(kTmp, tmp) && !tmp.empty())
            largestTmp = std::max(largestTmp, tmp[0].size);
    };
    update.cmdUpdateNow_Click();
    ExpectRefused("endless body");
    EXPECT_NE(update.LastReason().find("sent more than 67108864"), std::string::npos) << update.LastReason();
    EXPECT_LE(lastOffset, static_cast<size_t>(kMaxDatabaseLength));
    EXPECT_GT(largestTmp, 0u);
    EXPECT_LE(largestTmp, static_cast<uint64_t>(kMaxDatabaseLength));

    // Announced too long: refused before a byte of the body is read.
    http.onRead = [&](size_t) { ADD_FAILURE() << "the body of an oversized answer was read"; };
    http.responses[kUrl].noLength = false;
    http.responses[kUrl].endless = false;
    http.responses[kUrl].contentLength = kMaxDatabaseLength + 1;
    update.cmdUpdateNow_Click();
    ExpectRefused("announced too long");
    EXPECT_NE(update.LastReason().find("announces 67108865 bytes"), std::string::npos) << update.LastReason();
}

TEST_F(DatabaseUpdateTest, RunningOutOfMemoryIsAReportedFailure) {
    Serve(MakeDatabase(950000, "New Database 2"));
    http.onRead = [](size_t offset) {
        if (offset >= 400000)
            throw std::bad_alloc();
    };
    update.cmdUpdateNow_Click();
    EXPECT_EQ(update.LastOutcome(), UpdateOutcome::Failed);
    EXPECT_EQ(update.LastReason(), "out of memory");
    ASSERT_FALSE(fake.ui.messages.empty());
    EXPECT_EQ(fake.ui.messages.back().text, kUpdateFailedText);
    EXPECT_TRUE(fake.files.Content(kRef) == oldDatabase);
    ExpectIdle("out of memory");
    EXPECT_NE(log.back().find("failed: out of memory"), std::string::npos) << log.back();
}

TEST_F(DatabaseUpdateTest, InstallsWithoutAContentLengthWhenTheSignatureHolds) {
    const std::string body = MakeDatabase(900000, "New Database 2");
    Serve(body);
    http.responses[kUrl].noLength = true;
    http.headResponses["db.example/members/DataBase.ref"] = http.responses[kUrl];
    std::vector<std::string> captions;
    fake.ui.onYield = [&] {
        if (captions.empty() || captions.back() != app.state().update.lblBytesRead)
            captions.push_back(app.state().update.lblBytesRead);
    };
    update.cmdUpdateNow_Click();
    EXPECT_EQ(update.LastOutcome(), UpdateOutcome::Installed) << update.LastReason();
    // Size unknown: only the running count, and the bar does not move.
    EXPECT_EQ(captions.at(1), "Curently downloaded : 2,048 bytes");
    EXPECT_EQ(app.state().update.progressMax, 100);
}

TEST_F(DatabaseUpdateTest, ShowsProgressAgainstTheKnownSize) {
    Serve(MakeDatabase(1234567, "New Database 2"));
    fake.clock.separator = ".";
    std::vector<std::pair<int64_t, std::string>> seen;
    fake.ui.onYield = [&] {
        if (app.state().update.progressValue == 1234567 && seen.empty())
            seen.emplace_back(app.state().update.progressMax, app.state().update.lblBytesRead);
    };
    update.cmdUpdateNow_Click();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].first, 1234567);
    EXPECT_EQ(seen[0].second, "Curently downloaded : 1.234.567 bytes of 1.234.567 bytes");
    EXPECT_EQ(BytesReadCaption(0, -1, ","), "Curently downloaded :  bytes");
    EXPECT_EQ(BytesReadCaption(1234567, 2000000, ","), "Curently downloaded : 1,234,567 bytes of 2,000,000 bytes");
}

TEST_F(DatabaseUpdateTest, FailedAndCancelledDownloadsLeaveNothingBehind) {
    // Unreachable: the fixed message, no description, the panel idle at once.
    update.cmdUpdateNow_Click();
    EXPECT_EQ(update.LastOutcome(), UpdateOutcome::Failed);
    ASSERT_EQ(fake.ui.messages.size(), 1u);
    EXPECT_EQ(fake.ui.messages[0].text,
              "An error occured while trying to download the update.\r\nPlease try again in one hour.");
    EXPECT_EQ(fake.ui.messages[0].icon, MsgIcon::Exclamation);
    EXPECT_EQ(app.state().update.lblBytesRead, "");
    ExpectIdle("unreachable");

    // Broken off half way: the partial DataBase.tmp goes too.
    Serve(MakeDatabase(950000, "New Database 2"));
    http.responses[kUrl].failReadAt = 400000;
    update.cmdUpdateNow_Click();
    EXPECT_EQ(update.LastOutcome(), UpdateOutcome::Failed);
    ExpectIdle("broken off");
    EXPECT_TRUE(fake.files.Content(kRef) == oldDatabase);

    // Cancelled half way.
    http.responses[kUrl].failReadAt.reset();
    http.onRead = [&](size_t offset) {
        if (offset >= 400000)
            update.cmdCancelUpdate_Click();
    };
    fake.ui.messages.clear();
    update.cmdUpdateNow_Click();
    EXPECT_EQ(update.LastOutcome(), UpdateOutcome::Cancelled);
    EXPECT_TRUE(fake.ui.messages.empty());
    EXPECT_EQ(app.state().update.lblBytesRead, "Update cancelled.");
    ExpectIdle("cancelled");
    EXPECT_TRUE(fake.files.Content(kRef) == oldDatabase);
}

TEST_F(DatabaseUpdateTest, StartsOnlyWhenItCan) {
    Serve(MakeDatabase(900000, "New Database 2"));
    // Busy (a scan runs): nothing at all.
    app.state().busy = true;
    update.cmdUpdateNow_Click();
    EXPECT_TRUE(http.openedUrls.empty());
    EXPECT_TRUE(fake.ui.messages.empty());
    app.state().busy = false;

    // No address: says so, fetches nothing.
    app.state().update.address = "  ";
    update.cmdUpdateNow_Click();
    EXPECT_EQ(fake.ui.messages.at(0).text, kNoAddressText);
    app.state().update.address = "ftp://db.example/x";
    update.cmdUpdateNow_Click();
    EXPECT_EQ(fake.ui.messages.at(1).text, kBadAddressText);
    EXPECT_TRUE(http.openedUrls.empty());

    // No trusted key: refused before anything is fetched.
    fake.files.DeleteFile("C:\\Pellora\\Keys\\test-signing-key.pem");
    fake.files.AddFile("C:\\Pellora\\Keys\\broken.pem", "-----BEGIN PUBLIC KEY-----\nAAAA\n-----END PUBLIC KEY-----\n");
    update.UpdateFrom("db.example/members/DataBase.ref");
    EXPECT_EQ(update.LastOutcome(), UpdateOutcome::Refused);
    EXPECT_EQ(fake.ui.messages.at(2).text, kNoTrustedKeyText);
    EXPECT_TRUE(http.openedUrls.empty());
    EXPECT_FALSE(app.state().busy);
}

TEST_F(DatabaseUpdateTest, AnInstallationStoppedBetweenStepsLeavesALoadableDatabase) {
    const std::string body = MakeDatabase(900000, "New Database 2");
    for (InstallStep step :
         {InstallStep::KeepBackup, InstallStep::Replace, InstallStep::KeepSignature, InstallStep::Reload}) {
        fakes::FakePlatform machine;  // a fresh machine each time
        machine.system.appFolder = kApp;
        machine.files.AddFolder("C:\\Pellora\\Settings");
        machine.files.AddFile("C:\\Pellora\\Keys\\k.pem", fakes::PublicKeyPem(Key('k')));
        machine.files.AddFile(kRef, oldDatabase);
        Ports crashPorts{machine.registry, machine.files, machine.processes,
                         machine.shell,    machine.clock, machine.system,
                         machine.ui,       &http,         &signatures};
        Serve(body);
        {
            App crashing(crashPorts);
            crashing.state().update.address = kUrl;
            crashing.databaseUpdate().stopBefore = [step](InstallStep at) { return at == step; };
            crashing.databaseUpdate().cmdUpdateNow_Click();
        }
        // After the "crash": DataBase.ref is whole, old or new, and the next start loads it.
        const std::string ref = machine.files.Content(kRef);
        EXPECT_TRUE(ref == oldDatabase || ref == body) << static_cast<int>(step);
        const bool replaced = step == InstallStep::KeepSignature || step == InstallStep::Reload;
        EXPECT_EQ(ref == body, replaced) << static_cast<int>(step);
        App restarted(crashPorts);
        restarted.database().LoadAndUnlock();
        // Loaded with the signature that belongs to it, the pending one if the rename was not done.
        ASSERT_FALSE(restarted.state().lstDBaseFile.empty()) << restarted.database().Problem();
        EXPECT_EQ(restarted.state().lstDBaseFile[0], replaced ? "New Database 2" : "Old Database 1");
        EXPECT_EQ(machine.files.Exists("C:\\Pellora\\DataBase.sig"), replaced) << static_cast<int>(step);
        EXPECT_FALSE(machine.files.Exists("C:\\Pellora\\DataBase.new.sig") && replaced) << static_cast<int>(step);
        // The next update starts from a clean slate and removes what the crash left.
        Serve(MakeDatabase(900000, "New Database 3", 3));
        restarted.state().update.address = kUrl;
        restarted.databaseUpdate().cmdUpdateNow_Click();
        EXPECT_EQ(restarted.databaseUpdate().LastOutcome(), UpdateOutcome::Installed);
        EXPECT_FALSE(machine.files.Exists(kTmp));
    }
}

TEST_F(DatabaseUpdateTest, KeepsTheAddressInItsOwnSettingsFile) {
    ASSERT_TRUE(update.SaveAddress(" https://mirror.example/members/DataBase.ref \r\nignored"));
    EXPECT_EQ(fake.files.Content("C:\\Pellora\\Settings\\Update.stg"),
              "https://mirror.example/members/DataBase.ref\r\n");
    app.state().update.address.clear();
    update.LoadAddress();
    EXPECT_EQ(app.state().update.address, "https://mirror.example/members/DataBase.ref");
}

// Windows matches "*.pem" against the short names as well: "old.pem_retired" is found as
// OLD~1.PEM, and "keys.pem.txt" as KEYSPE~1.TXT does not match.

}  // namespace
}  // namespace pellora
