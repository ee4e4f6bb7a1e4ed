// Where spyware starts from: what starts a found file (found by identity in the same scan, shown
// as rows of its own, removed with the file, a list value repaired and not deleted) and the
// scheduled-task kind; each stored first under automatic erase and restored as it was.
#include <gtest/gtest.h>

#include "core/autostart/hosts_file.h"
#include "core/autostart/scheduled_task.h"
#include "core/quarantine/quarantine.h"
#include "core/quarantine/service_record.h"
#include "core/removal/removal_run.h"
#include "core/removal/restart_deletes.h"
#include "core/scan/persistence_matches.h"
#include "core/util/text.h"
#include "fakes/fake_platform.h"
#include "fakes/fake_services.h"
#include "fakes/fake_tasks.h"
#include "unit/autostart/link_builder.h"
#include "unit/removal/persistence_fixture.h"

namespace pellora {
namespace {

TEST_F(PersistenceTest, EveryWayOfStartingTheFoundFileIsAFindAndNothingElseIs) {
    scanner.StartScan();
    const std::string userinit = std::string(kWinlogon) + R"(,Userinit,C:\evil\evil.exe)";
    const std::string appInit = std::string(kWindows) + R"(,AppInit_DLLs,C:\Evil\evil.exe)";
    const std::string link = std::string(kStartup) + R"(\Evil.lnk)";
    std::vector<std::string> objects;
    for (const ResultRow& row : state.lstScanResult)
        objects.push_back(row.type + " " + row.object);
    EXPECT_EQ(objects,
              (std::vector<std::string>{std::string("path ") + kEvil, "RegVal " + std::string(kRunWow) + ",Helper",
                                        "RegVal " + std::string(kRun) + ",Updater", "Path " + link,
                                        R"(task \Evil\Updater)", "RegPart " + userinit, "RegPart " + appInit}));
    const ResultRow* run = Row("RegVal", std::string(kRun) + ",Updater");
    ASSERT_NE(run, nullptr);
    EXPECT_EQ(run->startsFile, kEvil);
    EXPECT_EQ(run->category, std::string("Trojan.Evil (starts ") + kEvil + ")");
    EXPECT_FALSE(run->foundKey.empty());
    ASSERT_NE(Row("Path", link), nullptr);
    EXPECT_TRUE(Row("Path", link)->foundAs.has_value());
    EXPECT_EQ(state.counters.newObjects, 7);
    EXPECT_EQ(state.counters.regValuesIdentified, 4);
}

// A Run value the database names itself is one object: not a second row for starting the file,
// nor a second count.
TEST_F(PersistenceTest, AnEntryTheDatabaseFoundItselfIsOneRowCountedOnce) {
    state.lstCustomScanSettings[2] = "1";  // the registry items too
    state.lstDBaseFile.push_back(std::string("regval|") + kRun + ",Updater|Trojan.Evil|");
    scanner.StartScan();
    size_t rows = 0;
    for (const ResultRow& row : state.lstScanResult)
        rows += EqualsIgnoreCase(row.type, "regval") && row.object == std::string(kRun) + ",Updater" ? 1 : 0;
    EXPECT_EQ(rows, 1u);
    EXPECT_EQ(state.counters.newObjects, 7);
    EXPECT_EQ(state.counters.regValuesIdentified, 4);
}

TEST_F(PersistenceTest, AutomaticEraseRemovesTheReferencesWithTheFileAndKeepsTheListsWorking) {
    state.lstCustomScanSettings[4] = "1";  // automatic erase
    scanner.StartScan();
    // Only the file is checked by hand: its ways of starting go with it.
    run.cmdNextDelete_Click();

    EXPECT_FALSE(p.files.Exists(kEvil));
    EXPECT_TRUE(p.files.Exists(R"(C:\Other\evil.exe)"));
    EXPECT_FALSE(p.files.Exists(std::string(kStartup) + R"(\Evil.lnk)"));
    EXPECT_EQ(Text(kRun, "Updater"), "(none)");
    EXPECT_EQ(Text(kRun, "Namesake"), R"(C:\Other\evil.exe)");
    EXPECT_EQ(Text(kRunWow, "Helper"), "(none)");
    // Repaired, every other byte kept; never deleted.
    EXPECT_EQ(Text(kWinlogon, "Userinit"), R"(C:\WINDOWS\system32\userinit.exe,)");
    EXPECT_EQ(Text(kWindows, "AppInit_DLLs"), R"(C:\Other\evil.exe)");
    EXPECT_TRUE(
        Logged(std::string("Registry value repaired=") + kWinlogon + R"(,Userinit (C:\evil\evil.exe taken out))"));
    // Each stored first: the whole list values as they were, the shortcut's bytes.
    const std::string records = Records();
    EXPECT_NE(records.find(std::string(kWinlogon) + ",Userinit"), std::string::npos);
    EXPECT_NE(records.find(std::string(kWindows) + ",AppInit_DLLs"), std::string::npos);
    EXPECT_NE(records.find(std::string(kStartup) + R"(\Evil.lnk)"), std::string::npos);
    EXPECT_NE(records.find(std::string(kRun) + ",Updater"), std::string::npos);
    EXPECT_EQ(tasks.ProbeTask(R"(\Evil\Updater)"), Presence::Absent);
    EXPECT_EQ(Line(state.lstScanInfoFile, 2), "7");

    RestoreAll();
    EXPECT_EQ(p.files.Content(kEvil), "MZ evil");
    EXPECT_TRUE(p.files.Exists(std::string(kStartup) + R"(\Evil.lnk)"));
    EXPECT_EQ(Text(kRun, "Updater"), R"("%EVILDIR%\evil.exe" /silent)");
    EXPECT_EQ(Text(kWinlogon, "Userinit"), R"(C:\WINDOWS\system32\userinit.exe, C:\evil\evil.exe,)");
    EXPECT_EQ(Text(kWindows, "AppInit_DLLs"), R"(C:\Evil\evil.exe C:\Other\evil.exe)");
    EXPECT_EQ(tasks.ProbeTask(R"(\Evil\Updater)"), Presence::Present);
}

TEST_F(PersistenceTest, ByHandAReferenceGoesWithItsCheckedFileAndAnOnlyShellStays) {
    p.registry.AddString(kWinlogon, "Shell", R"(C:\Evil\evil.exe)");
    p.ui.answers.push_back(MsgAnswer::Yes);
    scanner.StartScan();
    const std::string shell = std::string(kWinlogon) + R"(,Shell,C:\Evil\evil.exe)";
    ASSERT_NE(Row("RegPart", shell), nullptr);
    for (ResultRow& row : state.lstScanResult)
        row.checked = row.type == "path";
    run.cmdNextDelete_Click();
    EXPECT_EQ(Text(kWinlogon, "Shell"), R"(C:\Evil\evil.exe)");
    EXPECT_TRUE(Logged("Protected object skipped=" + shell + " (Windows starts no session with an empty Shell)"));
    EXPECT_EQ(Text(kRun, "Updater"), "(none)");
}

TEST_F(PersistenceTest, ATaskIsFoundStoredRemovedAndRegisteredAgainWhileWindowsTasksStay) {
    const std::string evil =
        R"(<?xml version="1.0"?><Task><Actions><Exec><Command>C:\Evil\evil.exe</Command></Exec></Actions></Task>)";
    tasks.tasks[FoldOrdinal(R"(\Evil Co\Updater)")] = evil;
    tasks.tasks[FoldOrdinal(R"(\Microsoft\Windows\Defrag\ScheduledDefrag)")] = "<Task/>";
    state.lstDBaseFile = {"Version 1", R"(task|\EVIL CO\Updater|Adware.Evil|)",
                          R"(Task|\Microsoft\Windows\Defrag\ScheduledDefrag|Adware.Evil|)",
                          R"(task|\..\..\Evil|Adware.Evil|)", R"(task|\Evil Co\Missing|Adware.Evil|)"};
    state.lstCustomScanSettings[4] = "1";  // automatic erase
    scanner.StartScan();
    std::vector<std::string> found;
    for (const ResultRow& row : state.lstScanResult)
        found.push_back(row.type + " " + row.object);
    EXPECT_EQ(found, (std::vector<std::string>{R"(task \EVIL CO\Updater)",
                                               R"(Task \Microsoft\Windows\Defrag\ScheduledDefrag)"}));
    EXPECT_EQ(state.counters.scannedObjects, 4);
    EXPECT_EQ(state.counters.newObjects, 2);

    run.cmdNextDelete_Click();
    EXPECT_EQ(tasks.ProbeTask(R"(\Evil Co\Updater)"), Presence::Absent);
    EXPECT_EQ(tasks.ProbeTask(R"(\Microsoft\Windows\Defrag\ScheduledDefrag)"), Presence::Present);
    EXPECT_TRUE(Logged(R"(Task deleted=\EVIL CO\Updater)"));
    EXPECT_TRUE(Logged(R"(Protected object skipped=\Microsoft\Windows\Defrag\ScheduledDefrag (a task of Windows))"));
    EXPECT_EQ(Line(state.lstScanInfoFile, 2), "1");

    RestoreAll();
    ASSERT_EQ(tasks.TaskDefinition(R"(\Evil Co\Updater)"), evil);
    EXPECT_TRUE(state.lstQuarantinedList.empty());
}

TEST_F(PersistenceTest, ATaskThatCannotBeStoredOrDeletedStays) {
    tasks.tasks[FoldOrdinal(R"(\Evil2\Updater)")] = "<Task/>";
    state.lstDBaseFile = {"Version 1", R"(task|\Evil2\Updater|Adware.Evil|)"};
    state.lstCustomScanSettings[4] = "1";
    tasks.givesDefinitions = false;  // and no definition file either
    scanner.StartScan();
    run.cmdNextDelete_Click();
    EXPECT_EQ(tasks.ProbeTask(R"(\Evil2\Updater)"), Presence::Present);
    EXPECT_TRUE(Logged(R"(Task not removed=\Evil2\Updater)"));

    tasks.givesDefinitions = true;
    tasks.refuseDelete = true;
    scanner.StartScan();
    run.cmdNextDelete_Click();
    EXPECT_EQ(tasks.ProbeTask(R"(\Evil2\Updater)"), Presence::Present);
    EXPECT_TRUE(Logged(R"(Task not removed=\Evil2\Updater)"));
    EXPECT_EQ(Line(state.lstScanInfoFile, 2), "0");
}

TEST_F(PersistenceTest, WhereTheSchedulerGivesNoDefinitionItsOwnFileIsReadButNeverThroughALink) {
    tasks.givesDefinitions = false;
    tasks.unknown = true;
    const std::string folder = R"(C:\WINDOWS\system32\Tasks)";
    p.files.AddFile(folder + R"(\Evil\Updater)", "<Task>evil</Task>");
    p.files.AddFile(R"(C:\Users\bob\Planted\Updater)", "<Task>planted</Task>");
    p.files.AddFolderLinkTo(folder + R"(\Linked)", R"(C:\Users\bob\Planted)", false);
    ScheduledTasks scheduled(tasks, p.files, p.system.SystemDirectory());
    EXPECT_EQ(scheduled.Definition(R"(\Evil\Updater)"), "<Task>evil</Task>");
    EXPECT_EQ(scheduled.TaskPresence(R"(\evil\updater)"), Presence::Present);
    EXPECT_EQ(scheduled.Definition(R"(\Linked\Updater)"), std::nullopt);
    EXPECT_EQ(scheduled.TaskPresence(R"(\Linked\Updater)"), Presence::Unknown);
    EXPECT_EQ(scheduled.Definition(R"(\Evil\..\Evil\Updater)"), std::nullopt);
}

TEST_F(PersistenceTest, HostsLinesOfANameGoAndComeBackWithEveryOtherByteKept) {
    const std::string hosts = R"(C:\WINDOWS\system32\drivers\etc\hosts)";
    const std::string original =
        "# evil.example is blocked below\r\n"
        "127.0.0.1 localhost\r\n"
        "0.0.0.0 EVIL.example www.evil.example # tracker\r\n"
        "10.0.0.1 good.example\r\n"
        "0.0.0.0 notevil.example\r\n"
        "0.0.0.0\tevil.example";
    p.files.AddFile(hosts, original);
    state.lstDBaseFile = {"Version 1", "hosts|evil.example|Hijack.Hosts|", "hosts|localhost|Hostile|",
                          "hosts|absent.example|Hijack.Hosts|"};
    state.lstCustomScanSettings[4] = "1";  // automatic erase
    scanner.StartScan();
    ASSERT_EQ(state.lstScanResult.size(), 1u);
    EXPECT_EQ(state.lstScanResult[0].object, "evil.example");

    run.cmdNextDelete_Click();
    EXPECT_EQ(p.files.Content(hosts),
              "# evil.example is blocked below\r\n"
              "127.0.0.1 localhost\r\n"
              "10.0.0.1 good.example\r\n"
              "0.0.0.0 notevil.example\r\n");
    EXPECT_TRUE(Logged("Hosts lines removed=evil.example (2 of " + hosts + ")"));
    EXPECT_EQ(Line(state.lstScanInfoFile, 2), "2");

    RestoreAll();
    EXPECT_EQ(p.files.Content(hosts), original);
    EXPECT_TRUE(state.lstQuarantinedList.empty());
}

TEST_F(PersistenceTest, ServicesAreStoppedFirstStoredWholeDeletedAndCreatedAgainWhileWindowsOnesStay) {
    ServiceConfig evil;
    evil.name = "EvilSvc";
    evil.displayName = "Evil Updater";
    evil.description = "Keeps evil fresh";
    evil.startType = 2;
    evil.imagePath = R"("C:\Evil\svc.exe" -run)";
    evil.dependencies = {"RpcSs", "+NetworkProvider"};
    evil.account = "LocalSystem";
    evil.delayedAutoStart = true;
    p.files.AddFile(R"(C:\Evil\svc.exe)", "MZ svc");
    services.Add(evil, true, R"(C:\Evil\svc.exe)");
    const std::string evilKey = "HKEY_LOCAL_MACHINE\\" + fakes::FakeServices::Key("EvilSvc");
    p.registry.AddString(evilKey + "\\Parameters", "ServiceDll", R"(C:\Evil\svc.dll)");
    p.registry.AddValue(evilKey, "FailureActions", RegValue{kRegBinary, std::string("\x01\x00\xff", 3)});
    // Started by the found file, which it holds open while it runs.
    ServiceConfig starter;
    starter.name = "EvilStarter";
    starter.imagePath = kEvil;
    services.Add(starter, true, kEvil);
    ServiceConfig hosted;
    hosted.name = "NetHelper";
    hosted.imagePath = R"(%SystemRoot%\System32\svchost.exe -k netsvcs)";
    p.system.environment["SystemRoot"] = "C:\\WINDOWS";
    p.files.AddFile(R"(C:\WINDOWS\system32\svchost.exe)", "MZ");
    services.Add(hosted);
    ServiceConfig spooler;
    spooler.name = "Spooler";
    spooler.imagePath = R"(C:\Evil\spool.exe)";
    services.Add(spooler);
    state.lstDBaseFile = {"Version 1",
                          std::string("path|") + kEvil + "|Trojan.Evil|",
                          "service|EVILSVC|Adware.Evil|",
                          "service|Spooler|Hostile|",
                          "Service|NetHelper|Hostile|",
                          "service|Missing|Adware.Evil|",
                          "service|a\\b|Hostile|"};
    state.lstCustomScanSettings[4] = "1";  // automatic erase
    scanner.StartScan();
    ASSERT_NE(Row("service", "EVILSVC"), nullptr);
    ASSERT_NE(Row("service", "EvilStarter"), nullptr);
    EXPECT_EQ(Row("service", "EvilStarter")->startsFile, kEvil);
    EXPECT_EQ(Row("service", "Missing"), nullptr);
    EXPECT_EQ(Row("service", "a\\b"), nullptr);

    run.cmdNextDelete_Click();
    // Stopped before the file's row came: the file went at once, not at restart.
    EXPECT_FALSE(p.files.Exists(kEvil));
    EXPECT_FALSE(Logged(std::string("File removed at restart=") + kEvil));
    EXPECT_EQ(services.ProbeService("EvilSvc"), Presence::Absent);
    EXPECT_EQ(services.ProbeService("EvilStarter"), Presence::Absent);
    EXPECT_FALSE(p.registry.HasKey(evilKey));
    EXPECT_TRUE(Logged("Service deleted=EVILSVC"));
    EXPECT_EQ(services.ProbeService("Spooler"), Presence::Present);
    EXPECT_EQ(services.ProbeService("NetHelper"), Presence::Present);
    EXPECT_TRUE(Logged("Protected object skipped=Spooler (a service of Windows)"));
    EXPECT_TRUE(Logged("Protected object skipped=NetHelper (its program is part of Windows)"));

    RestoreAll();
    EXPECT_EQ(services.Configuration("EvilSvc"), evil);
    EXPECT_EQ(Text(evilKey + "\\Parameters", "ServiceDll"), R"(C:\Evil\svc.dll)");
    EXPECT_EQ(Text(evilKey, "FailureActions"), std::string("\x01\x00\xff", 3));
    EXPECT_EQ(services.Configuration("EvilStarter"), starter);
    EXPECT_EQ(p.files.Content(kEvil), "MZ evil");
    EXPECT_TRUE(state.lstQuarantinedList.empty());
}

TEST_F(PersistenceTest, AServiceThatWillNotStopIsMarkedAndOneThereAgainIsNotReplaced) {
    ServiceConfig evil;
    evil.name = "EvilSvc";
    evil.imagePath = R"(C:\Evil\svc.exe)";
    services.Add(evil, true, "");
    services.refuseStop = true;
    state.lstDBaseFile = {"Version 1", "service|EvilSvc|Adware.Evil|"};
    state.lstCustomScanSettings[4] = "1";
    scanner.StartScan();
    run.cmdNextDelete_Click();
    EXPECT_TRUE(Logged("Service removed at restart=EvilSvc (it did not stop)"));
    EXPECT_EQ(Line(state.lstScanInfoFile, 2), "0");

    // Gone at restart, then made again by its installer: restore leaves that one alone.
    services.services.clear();
    ServiceConfig again = evil;
    again.imagePath = R"(C:\Evil\v2.exe)";
    services.Add(again);
    RestoreAll();
    EXPECT_EQ(services.Configuration("EvilSvc"), again);
    EXPECT_EQ(state.lstQuarantinedList.size(), 1u);
}

TEST(ServiceRecords, RoundTripAndHostileFormsAreRefused) {
    ServiceRecord record;
    record.config.name = "Evil";
    record.config.imagePath = "C:\\e.exe";
    record.config.dependencies = {"RpcSs"};
    record.values = {{"", "ImagePath", {kRegExpandSz, "C:\\e.exe"}},
                     {"Parameters\\Deep", "Blob", {kRegBinary, std::string("\0\xfe", 2)}}};
    const std::optional<ServiceRecord> back = DecodeServiceRecord(EncodeServiceRecord(record));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->config, record.config);
    ASSERT_EQ(back->values.size(), 2u);
    EXPECT_EQ(back->values[1].key, "Parameters\\Deep");
    EXPECT_EQ(back->values[1].value.data, std::string("\0\xfe", 2));
    for (
        const char* bad :
        {"", "[]", R"({"name":"Evil"})",
         R"({"name":"a\\b","imagePath":"","type":16,"startType":3,"errorControl":1,"values":[]})",
         R"({"name":"E","imagePath":"","type":16,"startType":9,"errorControl":1,"values":[]})",
         R"({"name":"E","imagePath":"","type":16,"startType":3,"errorControl":1,"values":[{"key":"..\\..\\Run","name":"x","type":1,"data":""}]})",
         R"({"name":"E","imagePath":"","type":16,"startType":3,"errorControl":1,"values":[{"key":"","name":"x","type":1,"data":"zz"}]})"})
        EXPECT_FALSE(DecodeServiceRecord(bad)) << bad;
}

TEST(HostsLines, PutBackWhereTheyWereOrAtTheEndAndStoredFormsAreChecked) {
    const std::vector<HostsLine> lines = LinesMapping("a x\nb evil\nc y\n", "EVIL");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].offset, 4u);
    EXPECT_EQ(WithLinesBack("a x\nc y\n", lines), "a x\nb evil\nc y\n");
    // The file changed meanwhile: the line goes at the end rather than into another line.
    EXPECT_EQ(WithLinesBack("ax", lines), "ax\r\nb evil\n");
    EXPECT_TRUE(LinesMapping("evil 1.2.3.4\n# 0.0.0.0 evil\n", "evil").empty());  // an address, a comment
    const auto decoded = DecodeHostsLines(EncodeHostsLines(lines));
    ASSERT_TRUE(decoded);
    EXPECT_EQ((*decoded)[0].bytes, "b evil\n");
    for (const char* bad : {"", "x 41\n", "4 4\n", "4 zz\n", " 41\n", "99999999999999999999 41\n"})
        EXPECT_FALSE(DecodeHostsLines(bad)) << bad;
}

TEST_F(PersistenceTest, AFileInUseIsStoredThenDeletedAtRestartAndCountedOnlyWhenTheNextStartFindsItGone) {
    const std::string helper = R"(C:\Evil\helper.dll)";
    p.files.AddFile(helper, "MZ helper");
    p.files.Lock(kEvil);
    p.files.Lock(helper);
    state.lstDBaseFile = {"Version 1", std::string("path|") + kEvil + "|Trojan.Evil|",
                          "path|" + helper + "|Trojan.Evil|"};
    state.lstCustomScanSettings[4] = "1";  // automatic erase
    scanner.StartScan();
    run.cmdNextDelete_Click();
    EXPECT_TRUE(Logged(std::string("File removed at restart=") + kEvil));
    EXPECT_TRUE(Logged("File removed at restart=" + helper));
    EXPECT_EQ(p.files.deletedAtRestart, (std::vector<std::string>{kEvil, helper}));
    EXPECT_NE(Records().find(helper), std::string::npos);  // stored before
    EXPECT_EQ(Line(state.lstScanInfoFile, 2), "6");        // the references, not the files

    p.files.Restart();
    p.files.AddFile(helper, "MZ helper");  // put back meanwhile: not removed after all
    EXPECT_EQ(
        ConfirmPendingDeletes(state, p.files),
        (std::vector<std::string>{std::string("Removed at restart=") + kEvil, "Not removed at restart=" + helper}));
    EXPECT_EQ(Line(state.lstScanInfoFile, 2), "7");
    EXPECT_TRUE(ConfirmPendingDeletes(state, p.files).empty());  // each start counts once
    EXPECT_EQ(Line(state.lstScanInfoFile, 2), "7");
}

TEST_F(PersistenceTest, AFileInUseThatTheSystemWillNotDeleteAtRestartStaysNotRemoved) {
    p.files.Lock(kEvil);
    p.files.refuseDeleteAtRestart = true;
    state.lstDBaseFile = {"Version 1", std::string("path|") + kEvil + "|Trojan.Evil|"};
    state.lstCustomScanSettings[4] = "1";
    scanner.StartScan();
    run.cmdNextDelete_Click();
    EXPECT_TRUE(Logged(std::string("File not removed=") + kEvil));
    EXPECT_TRUE(ConfirmPendingDeletes(state, p.files).empty());
}

TEST(TaskPaths, OnlyPlainFullPathsAreTasksAndMicrosoftsAreWindows) {
    EXPECT_TRUE(IsTaskPath(R"(\Updater)"));
    EXPECT_TRUE(IsTaskPath(R"(\Evil Co\Updater 1.2)"));
    for (const char* bad : {"", "\\", "Updater", R"(\\Updater)", R"(\a\\b)", R"(\a\..\b)", R"(\.\b)", R"(\C:\x)",
                            "\\a/b", "\\a\tb", R"(\a\b.)", R"(\a\)"})
        EXPECT_FALSE(IsTaskPath(bad)) << bad;
    EXPECT_FALSE(IsTaskPath("\\" + std::string(300, 'a')));
    EXPECT_TRUE(IsWindowsTask(R"(\microsoft\Windows\Defrag)"));
    EXPECT_FALSE(IsWindowsTask(R"(\MicrosoftEdgeUpdateTaskMachineUA)"));
}

TEST(ListParts, OneElementGoesWithOneSeparatorAndNothingElseChanges) {
    EXPECT_EQ(WithoutListPart("a.exe,evil.exe,", "EVIL.exe", ","), "a.exe,");
    EXPECT_EQ(WithoutListPart("evil.exe, a.exe", "evil.exe", ","), "a.exe");
    EXPECT_EQ(WithoutListPart("a.exe , evil.exe ,b.exe", " evil.exe", ","), "a.exe ,b.exe");
    EXPECT_EQ(WithoutListPart("x.dll\tevil.dll y.dll", "evil.dll", ", \t"), "x.dll y.dll");
    EXPECT_EQ(WithoutListPart("evil.dll", "evil.dll", ", \t"), "");
    EXPECT_EQ(WithoutListPart("a.exe,notevil.exe", "evil.exe", ","), std::nullopt);
    EXPECT_EQ(WithoutListPart("", "evil.exe", ","), std::nullopt);

    EXPECT_TRUE(ParseListPart(std::string(kWinlogon) + ",userinit,C:\\e.exe"));
    EXPECT_TRUE(ParseListPart(std::string(kWindows) + ",AppInit_DLLs,C:\\e.dll"));
    // Only the three list values are ever repaired, whatever a row says.
    EXPECT_FALSE(ParseListPart(std::string(kWinlogon) + ",System,C:\\e.exe"));
    EXPECT_FALSE(ParseListPart(std::string(kRun) + ",Userinit,C:\\e.exe"));
    EXPECT_FALSE(ParseListPart(std::string(kWinlogon) + ",Shell, "));
}

}  // namespace
}  // namespace pellora
