// pellora-db: the database producer's tool (lock, unlock, check, sign, add-rules; see --help). The
// work is done by the portable core (core/database/db_tool.h); this file only reaches the Windows command
// line, files and code page.
#include <windows.h>
// After windows.h, whose types it uses.
#include <shellapi.h>
// Undoes windows.h's macros that would rename the ports' methods; before any core header.
#include "win32/file_system_win.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "core/database/db_tool.h"
#include "core/scan/rule_files.h"
#include "win32/encoding_win.h"
#include "win32/library_loading.h"
#include "win32/signature_bcrypt.h"

namespace {

using pellora::win32::Narrow;
using pellora::win32::Widen;

std::optional<std::string> ReadWholeFile(const std::string& path) {
    FILE* file = _wfopen(Widen(path).c_str(), L"rb");
    if (!file)
        return std::nullopt;
    std::string bytes;
    char buffer[65536];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.append(buffer, got);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed)
        return std::nullopt;
    return bytes;
}

// Written beside the target and moved over it, so an interrupted build never leaves half a
// database behind.
bool WriteWholeFile(const std::string& path, const std::string& bytes) {
    const std::wstring target = Widen(path);
    const std::wstring temporary = target + L".tmp";
    FILE* file = _wfopen(temporary.c_str(), L"wb");
    if (!file)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    ok = std::fflush(file) == 0 && ok;
    ok = std::fclose(file) == 0 && ok;
    if (ok)
        ok = MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    if (!ok)
        DeleteFileW(temporary.c_str());
    return ok;
}

void Print(FILE* stream, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

// Nothing to show and nothing to ask: the tool runs in a build.
class SilentUi : public pellora::UiPort {
  public:
    void Yield() override {}
    pellora::MsgAnswer Message(const std::string&, const std::string&, pellora::MsgButtons, pellora::MsgIcon) override {
        return pellora::MsgAnswer::No;
    }
    void Changed(pellora::View) override {}
    bool Unattended() override { return true; }
};

std::optional<std::vector<std::string>> ListRuleFiles(const std::string& path) {
    pellora::win32::FileSystemWin files;
    const std::optional<uint32_t> attributes = files.GetAttributes(path);
    if (!attributes || !(*attributes & pellora::file_attr::kDirectory))
        return std::nullopt;
    SilentUi ui;
    std::string base = path;
    if (base.empty() || base.back() != '\\')
        base += '\\';
    std::vector<std::string> names;
    for (std::string found : pellora::FilesBelow(files, ui, path, true)) {
        found.erase(0, std::min(found.size(), base.size()));
        std::replace(found.begin(), found.end(), '\\', '/');
        names.push_back(std::move(found));
    }
    return names;
}

}  // namespace

int main() {
    pellora::win32::LoadLibrariesFromSystemOnly();
    SetConsoleOutputCP(CP_UTF8);
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> args;
    for (int i = 1; argv && i < count; ++i)
        args.push_back(Narrow(argv[i]));
    if (argv)
        LocalFree(argv);

    pellora::DbToolIo io;
    io.codePage.ansiToUtf8 = [](std::string_view ansi) { return pellora::win32::AnsiToUtf8(ansi); };
    io.codePage.utf8ToAnsi = [](std::string_view utf8) { return pellora::win32::Utf8ToAnsi(utf8); };
    io.readFile = ReadWholeFile;
    io.writeFile = WriteWholeFile;
    io.listRuleFiles = ListRuleFiles;
    pellora::win32::SignatureBcrypt signatures;
    io.signP256 = [&signatures](std::string_view key, std::string_view data) { return signatures.SignP256(key, data); };
    const int code = pellora::RunDbTool(args, io);
    Print(stdout, io.out);
    Print(stderr, io.err);
    return code;
}
