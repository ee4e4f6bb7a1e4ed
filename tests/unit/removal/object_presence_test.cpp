// Whether a result row's object is still there: gone only when the platform says there is no
// such object. The window's removal run and the console program's report both use this answer.
#include <gtest/gtest.h>

#include "core/removal/object_presence.h"
#include "fakes/fake_platform.h"
#include "fakes/fake_services.h"
#include "fakes/fake_tasks.h"

namespace pellora {
namespace {

TEST(ObjectPresence, GoneOnlyWhenAbsenceIsConfirmed) {
    fakes::FakeFileSystem files;
    fakes::FakeRegistry registry;
    const std::string cookies = "C:\\Users\\bob\\Cookies";
    files.AddFile("C:\\Spy\\hidden.exe", "MZ", file_attr::kHidden | file_attr::kSystem);
    files.AddFolder("C:\\Spy\\Tool");
    files.AddFile(cookies + "\\bob@spy[1].txt", "c");
    files.AddFile("C:\\Locked\\in.exe", "MZ");
    files.DenyAccess("C:\\Locked");
    registry.AddString("HKEY_CURRENT_USER\\Software\\Spy", "Run", "x");
    registry.AddString("HKEY_CURRENT_USER\\Software\\Shut", "Run", "x");
    registry.DenyAll("HKEY_CURRENT_USER\\Software\\Shut");

    struct Case {
        const char* type;
        std::string object;
        Presence expected;
    };
    const Case cases[] = {
        {"path", "C:\\Spy\\hidden.exe", Presence::Present},
        {"file", "C:\\Spy\\gone.exe", Presence::Absent},
        {"folder", "C:\\Spy\\Tool", Presence::Present},
        {"path", "C:\\Locked\\in.exe", Presence::Unknown},
        {"path", "C:\\Locked\\other.exe", Presence::Unknown},
        {"cookie", "bob@spy[1].txt", Presence::Present},
        {"cookie", "bob@gone[1].txt", Presence::Absent},
        {"RegKey", "HKEY_CURRENT_USER\\Software\\Spy", Presence::Present},
        {"regkey", "HKEY_CURRENT_USER\\Software\\Gone", Presence::Absent},
        {"regkey", "HKEY_CURRENT_USER\\Software\\Shut", Presence::Unknown},
        {"regkey", "not a key", Presence::Absent},
        {"RegVal", "HKEY_CURRENT_USER\\Software\\Spy,Run", Presence::Present},
        {"regval", "HKEY_CURRENT_USER\\Software\\Spy,Gone", Presence::Absent},
        {"regval", "HKEY_CURRENT_USER\\Software\\Shut,Run", Presence::Unknown},
        {"regval", "HKEY_CURRENT_USER\\Software\\Spy", Presence::Absent},
        {"path", "C:\\Spy\\*.exe", Presence::Present},
        {"path", "C:\\Spy\\*.scr", Presence::Absent},
        {"path", "C:\\Gone\\*.scr", Presence::Absent},
        {"path", "C:\\Locked\\*.exe", Presence::Unknown},
        {"process", "spy.exe", Presence::Present},  // never removed by kind: never gone
    };
    for (const Case& c : cases) {
        ResultRow row;
        row.type = c.type;
        row.object = c.object;
        EXPECT_EQ(ObjectPresence(row, cookies, files, registry), c.expected) << c.type << " " << c.object;
    }
    ResultRow cookie;
    cookie.type = "cookie";
    cookie.object = "bob@spy[1].txt";
    EXPECT_EQ(ObjectPresence(cookie, "", files, registry), Presence::Unknown);
}

TEST(ObjectPresence, StartingPlacesAreAskedOfTheirOwnPortsAndUnknownWithoutThem) {
    fakes::FakePlatform p;
    fakes::FakeTaskScheduler tasks;
    fakes::FakeServices services{p.registry, p.files};
    tasks.tasks[FoldOrdinal("\\Evil\\Updater")] = "<Task/>";
    ServiceConfig evil;
    evil.name = "EvilSvc";
    services.Add(evil);
    p.files.AddFile(p.system.SystemDirectory() + "\\drivers\\etc\\hosts", "0.0.0.0 evil.example\r\n");
    const PersistencePorts ports{&p.system, &tasks, &services};
    auto presence = [&](const char* type, const char* object, const PersistencePorts& with) {
        ResultRow row;
        row.type = type;
        row.object = object;
        return ObjectPresence(row, "", p.files, p.registry, with);
    };
    EXPECT_EQ(presence("task", "\\evil\\updater", ports), Presence::Present);
    EXPECT_EQ(presence("task", "\\Evil\\Gone", ports), Presence::Absent);
    EXPECT_EQ(presence("service", "EVILSVC", ports), Presence::Present);
    EXPECT_EQ(presence("service", "GoneSvc", ports), Presence::Absent);
    EXPECT_EQ(presence("hosts", "EVIL.example", ports), Presence::Present);
    EXPECT_EQ(presence("hosts", "good.example", ports), Presence::Absent);
    for (const char* type : {"task", "service", "hosts"})
        EXPECT_EQ(presence(type, "x", {}), Presence::Unknown) << type;
}

}  // namespace
}  // namespace pellora
