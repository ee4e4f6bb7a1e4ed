#include <gtest/gtest.h>

#include "core/autostart/command_line.h"
#include "fakes/fake_platform.h"

namespace pellora::autostart {
namespace {

using Args = std::vector<std::string>;

TEST(SplitCommandLine, ProgramNameHasNoEscapesTheOtherArgumentsTheBackslashRules) {
    struct Case {
        const char* line;
        Args args;
    };
    for (const Case& c : std::initializer_list<Case>{
             // The program name ends at the next quote, whatever precedes it, and the next
             // argument starts right after.
             {R"("C:\dir\"b c)", {R"(C:\dir\)", "b", "c"}},
             {R"(C:\x\"y"z a)", {R"(C:\x\"y"z)", "a"}},
             {R"("C:\Program Files\x.exe")", {R"(C:\Program Files\x.exe)"}},
             {"p  \t", {"p"}},
             {" p", {"", "p"}},
             // The other arguments: the published examples of the backslash rules.
             {R"(p "abc" d e)", {"p", "abc", "d", "e"}},
             {R"(p a\\b d"e f"g h)", {"p", R"(a\\b)", "de fg", "h"}},
             {R"(p a\\\"b c d)", {"p", R"(a\"b)", "c", "d"}},
             {R"(p a\\\\"b c" d e)", {"p", R"(a\\b c)", "d", "e"}},
             {R"(p a"b"" c d)", {"p", R"(ab")", "c", "d"}},
             {R"(p "" x)", {"p", "", "x"}},
             {R"(p "unterminated \" x)", {"p", R"(unterminated " x)"}},
         }) {
        EXPECT_EQ(SplitCommandLine(c.line), c.args) << c.line;
    }
}

class ResolveTest : public ::testing::Test {
  protected:
    ResolveTest() {
        system_.environment["PROGRAMFILES"] = R"(C:\Program Files)";
        system_.environment["COMSPEC"] = R"(C:\WINDOWS\system32\cmd.exe)";
        system_.environment["APPDATA"] = R"(C:\Users\ann\AppData\Roaming)";
        context_.expand = [this](const std::string& text) { return system_.ExpandEnvironment(text); };
        context_.fileExists = [this](const std::string& path) { return files_.Exists(path) && !files_.IsFolder(path); };
        context_.systemDirectory = system_.systemDir;
        context_.windowsDirectory = system_.windowsDir;
        for (const char* path :
             {R"(C:\WINDOWS\system32\rundll32.exe)", R"(C:\WINDOWS\system32\cmd.exe)",
              R"(C:\WINDOWS\system32\notepad.exe)", R"(C:\WINDOWS\regedit.exe)", R"(C:\WINDOWS\system32\shell32.dll)"})
            files_.AddFile(path);
    }

    ResolvedCommand Resolve(const std::string& command) { return ResolveCommand(command, context_); }

    fakes::FakeFileSystem files_;
    fakes::FakeSystem system_;
    ResolveContext context_;
};

TEST_F(ResolveTest, UnquotedPathWithBlanksIsTriedBlankByBlankAsCreateProcessDoes) {
    const std::string line = R"(C:\Program Files\Vendor App\app.exe -x "y z")";
    // None exists: the program is the whole candidate the line meant, not its first word.
    ResolvedCommand missing = Resolve(line);
    EXPECT_EQ(missing.program, R"(C:\Program Files\Vendor App\app.exe)");
    EXPECT_EQ(missing.arguments, R"(-x "y z")");
    EXPECT_FALSE(missing.exists);
    EXPECT_EQ(Resolve(R"(C:\Program Files\Vendor App\app -x)").program, R"(C:\Program)");

    files_.AddFile(R"(C:\Program Files\Vendor App\app.exe)");
    ResolvedCommand real = Resolve(line);
    EXPECT_EQ(real.program, R"(C:\Program Files\Vendor App\app.exe)");
    EXPECT_EQ(real.arguments, R"(-x "y z")");
    EXPECT_TRUE(real.exists);

    // A planted C:\Program.exe wins, as it would when Windows starts the line.
    files_.AddFile(R"(C:\Program.exe)");
    ResolvedCommand planted = Resolve(line);
    EXPECT_EQ(planted.program, R"(C:\Program.exe)");
    EXPECT_EQ(planted.arguments, R"(Files\Vendor App\app.exe -x "y z")");

    // A name without extension is tried with ".exe" only: a file without one never runs, nor
    // does a folder.
    files_.AddFile(R"(C:\Tools\tool)");
    ResolvedCommand bare = Resolve(R"(C:\Tools\tool x)");
    EXPECT_EQ(bare.program, R"(C:\Tools\tool)");
    EXPECT_FALSE(bare.exists);
    files_.AddFolder(R"(C:\Tools\run)");
    files_.AddFile(R"(C:\Tools\run.exe)");
    EXPECT_EQ(Resolve(R"(C:\Tools\run now)").program, R"(C:\Tools\run.exe)");
}

TEST_F(ResolveTest, QuotesEnvironmentAndBareNames) {
    files_.AddFile(R"(C:\Program Files\X\x.exe)");
    ResolvedCommand quoted = Resolve(R"("%ProgramFiles%\X\x.exe" /a)");
    EXPECT_EQ(quoted.expanded, R"("C:\Program Files\X\x.exe" /a)");
    EXPECT_EQ(quoted.program, R"(C:\Program Files\X\x.exe)");
    EXPECT_EQ(quoted.arguments, "/a");
    EXPECT_TRUE(quoted.exists);
    EXPECT_TRUE(quoted.host.empty());

    // Bare names: System32 first, then the Windows folder, ".exe" added when missing.
    EXPECT_EQ(Resolve("notepad.exe x.txt").program, R"(C:\WINDOWS\system32\notepad.exe)");
    EXPECT_EQ(Resolve("regedit /s a.reg").program, R"(C:\WINDOWS\regedit.exe)");
    ResolvedCommand unknown = Resolve("nowhere.exe");
    EXPECT_EQ(unknown.program, "nowhere.exe");
    EXPECT_FALSE(unknown.exists);
}

TEST_F(ResolveTest, HostFormsGiveTheProgramTheyRun) {
    files_.AddFile(R"(C:\Users\a b\evil.dll)");
    ResolvedCommand dll = Resolve(R"(rundll32.exe "C:\Users\a b\evil.dll",Start now)");
    EXPECT_EQ(dll.host, R"(C:\WINDOWS\system32\rundll32.exe)");
    EXPECT_EQ(dll.program, R"(C:\Users\a b\evil.dll)");
    EXPECT_EQ(dll.arguments, ",Start now");
    EXPECT_TRUE(dll.exists);
    // A bare library is looked up like a program, with ".dll" added.
    ResolvedCommand shell = Resolve("RUNDLL32 shell32,Control_RunDLL");
    EXPECT_EQ(shell.program, R"(C:\WINDOWS\system32\shell32.dll)");
    EXPECT_TRUE(shell.exists);

    files_.AddFile(R"(C:\Temp\a b\x.exe)");
    ResolvedCommand cmd = Resolve(R"(%ComSpec% /Q /C ""C:\Temp\a b\x.exe" -q")");
    EXPECT_EQ(cmd.host, R"(C:\WINDOWS\system32\cmd.exe)");
    EXPECT_EQ(cmd.program, R"(C:\Temp\a b\x.exe)");
    EXPECT_EQ(cmd.arguments, "-q");
    // cmd running rundll32: the library is what runs.
    EXPECT_EQ(Resolve(R"(cmd /c rundll32 "C:\Users\a b\evil.dll",X)").program, R"(C:\Users\a b\evil.dll)");
    // cmd's start command: its options and window title are not the program.
    ResolvedCommand start = Resolve(R"(cmd.exe /c start "" /min "C:\Temp\a b\x.exe" -w)");
    EXPECT_EQ(start.program, R"(C:\Temp\a b\x.exe)");
    EXPECT_EQ(start.arguments, "-w");
    EXPECT_EQ(Resolve(R"(cmd /c start /D C:\Temp /b "C:\Temp\a b\x.exe")").program, R"(C:\Temp\a b\x.exe)");
    // cmd without /c runs nothing else: the program is cmd itself.
    EXPECT_EQ(Resolve("cmd.exe /q").program, R"(C:\WINDOWS\system32\cmd.exe)");
}

TEST_F(ResolveTest, HostileInputIsRefusedOrResolvedNeverThrown) {
    EXPECT_EQ(Resolve("").problem, "no program");
    EXPECT_EQ(Resolve(std::string(200000, 'a')).problem, "command too long");
    // Hosts nested without end stop after a few levels.
    std::string nested;
    for (int i = 0; i < 50; ++i)
        nested += "cmd /c ";
    nested += "notepad";
    EXPECT_FALSE(Resolve(nested).program.empty());
    ResolvedCommand withNul = Resolve(std::string("notepad\0 hidden", 15));
    EXPECT_EQ(withNul.program, R"(C:\WINDOWS\system32\notepad.exe)");
    EXPECT_EQ(withNul.problem, "command holds a NUL");
    // Thousands of blanks cost a bounded number of probes.
    EXPECT_EQ(Resolve("C:\\a" + std::string(5000, ' ') + "b").program, R"(C:\a)");
}

TEST_F(ResolveTest, KernelStyleImagePathsAndModules) {
    const std::string windows = system_.windowsDir;
    EXPECT_EQ(NormalizeImagePath(R"(\SystemRoot\System32\drivers\x.sys)", windows),
              R"(C:\WINDOWS\System32\drivers\x.sys)");
    EXPECT_EQ(NormalizeImagePath(R"(system32\DRIVERS\y.sys)", windows), R"(C:\WINDOWS\system32\DRIVERS\y.sys)");
    EXPECT_EQ(NormalizeImagePath(R"(\??\C:\z.sys)", windows), R"(C:\z.sys)");
    EXPECT_EQ(NormalizeImagePath(R"("C:\Program Files\s.exe" -k)", windows), R"("C:\Program Files\s.exe" -k)");

    files_.AddFile(R"(C:\Program Files\P\hook.dll)");
    ResolvedCommand module = ResolveModule(R"("%ProgramFiles%\P\hook.dll")", context_);
    EXPECT_EQ(module.program, R"(C:\Program Files\P\hook.dll)");
    EXPECT_TRUE(module.exists);
    EXPECT_EQ(ResolveModule("shell32", context_).program, R"(C:\WINDOWS\system32\shell32.dll)");
}

}  // namespace
}  // namespace pellora::autostart
