#include "fakes/fake_platform.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "core/settings/registry_access.h"
#include "core/util/case_fold.h"
#include "core/util/text.h"

namespace pellora::fakes {

std::string FakeSystem::ExpandEnvironment(const std::string& text) {
    std::string out;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t open = text.find('%', pos);
        size_t close = open == std::string::npos ? std::string::npos : text.find('%', open + 1);
        if (close == std::string::npos) {
            out += text.substr(pos);
            break;
        }
        std::string name = text.substr(open + 1, close - open - 1);
        for (char& c : name)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        auto known = environment.find(name);
        out += text.substr(pos, open - pos);
        if (known == environment.end()) {
            out += text.substr(open, close - open);
            pos = close;
        } else {
            out += known->second;
            pos = close + 1;
        }
    }
    return out;
}

std::vector<ProcessEntry> FakeProcesses::Snapshot() {
    std::vector<ProcessEntry> out;
    for (const Process& p : processes)
        out.push_back(ProcessEntry{p.exeName, p.pid, p.imagePath, p.creationTime});
    return out;
}

std::optional<ProcessEntry> FakeProcesses::Describe(uint32_t pid) {
    for (const Process& p : processes) {
        if (p.pid == pid)
            return ProcessEntry{p.exeName, p.pid, p.imagePath, p.creationTime};
    }
    return std::nullopt;
}

bool FakeProcesses::PostToProcessWindows(uint32_t pid, uint32_t message, uintptr_t) {
    auto it = std::find_if(processes.begin(), processes.end(), [&](const Process& p) { return p.pid == pid; });
    if (it == processes.end() || it->topLevelWindows == 0)
        return false;
    for (int i = 0; i < it->topLevelWindows; ++i)
        posted.emplace_back(pid, message);
    if (message == 0x0010 /* WM_CLOSE */ && it->closesOnWmClose)
        processes.erase(it);
    return true;
}

bool FakeProcesses::IsRunning(uint32_t pid) {
    return std::any_of(processes.begin(), processes.end(), [&](const Process& p) { return p.pid == pid; });
}

bool FakeProcesses::Terminate(uint32_t pid, uint32_t) {
    auto it = std::find_if(processes.begin(), processes.end(), [&](const Process& p) { return p.pid == pid; });
    if (it == processes.end())
        return false;
    terminated.push_back(pid);
    processes.erase(it);
    return true;
}

ProcessPort::BoundedRun FakeProcesses::RunAndWaitBounded(const std::string& commandLine, int, uint32_t timeoutMs) {
    commands.push_back(commandLine);
    waitBounds.push_back(timeoutMs);
    if (!(onRun ? onRun(commandLine) : true))
        return {false, false};
    bool ends = std::none_of(neverEnding.begin(), neverEnding.end(),
                             [&](const std::string& part) { return commandLine.find(part) != std::string::npos; });
    return {true, ends};
}

void FakeProcesses::Add(const std::string& exeName, uint32_t pid, int windows, bool closesOnWmClose) {
    processes.push_back(Process{exeName, pid, windows, closesOnWmClose, {}, 0});
}

int FakeShell::FileOperation(ShellOp op, const std::string& from, const std::string& to, uint32_t operationFlags) {
    flags.push_back(operationFlags);
    if (failResult)
        return failResult;
    if (!files_.Exists(from))
        return 2;
    std::string target = to;
    // Into an existing folder: the copy keeps the source's own name.
    if (files_.IsFolder(to))
        target = (EndsWith(to, "\\") ? to : to + "\\") + from.substr(from.rfind('\\') + 1);
    if (!files_.CopyTree(from, target))
        return 5;
    if (op == ShellOp::Move) {
        for (auto& path : [&] {
                 auto tree = files_.Tree(from);
                 std::reverse(tree.begin(), tree.end());
                 return tree;
             }()) {
            files_.SetAttributes(path, file_attr::kNormal);
            if (!files_.DeleteFile(path))
                files_.RemoveDirectory(path);
        }
        files_.SetAttributes(from, file_attr::kNormal);
        if (!files_.DeleteFile(from))
            files_.RemoveDirectory(from);
    }
    return 0;
}

bool FakeShell::OpenDocument(const std::string& path, const std::string& workingFolder) {
    opened.push_back(path);
    openedIn.push_back(workingFolder);
    return true;
}

std::string FakeClock::ShortDate(const LocalTime& t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", t.day, t.month, t.year);
    return buf;
}

std::string FakeSystem::AnsiToUtf8(std::string_view ansi) {
    std::string out;
    for (unsigned char c : ansi) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string FakeSystem::Utf8ToAnsi(std::string_view utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if ((c & 0xE0) == 0xC0 && i + 1 < utf8.size()) {
            unsigned code = ((c & 0x1F) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3F);
            out += code < 0x100 ? static_cast<char>(code) : '?';
            ++i;
        } else {
            while (i + 1 < utf8.size() && (static_cast<unsigned char>(utf8[i + 1]) & 0xC0) == 0x80)
                ++i;
            out += '?';
        }
    }
    return out;
}

MsgAnswer FakeUi::Message(const std::string& text, const std::string& title, MsgButtons buttons, MsgIcon icon) {
    messages.push_back(Shown{text, title, buttons, icon});
    if (onMessage)
        onMessage(messages.back());
    if (!answers.empty()) {
        MsgAnswer a = answers.front();
        answers.pop_front();
        return a;
    }
    return buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Ok;
}

bool KeyNameRegedit(FakeFileSystem& files, FakeRegistry& registry, const std::string& line) {
    std::vector<std::string> arguments = SplitCommandLine(line);
    if (arguments.size() == 4 && arguments[1] == "/e") {
        if (registry.HasKey(arguments[3]))
            files.AddFile(arguments[2], "[" + arguments[3] + "]");
    } else if (arguments.size() == 4 && arguments[1] == "/c") {
        std::string content = files.Content(arguments[3]);
        if (content.size() > 2)
            registry.AddKey(content.substr(1, content.size() - 2));
    }
    return true;
}

std::vector<std::string> SplitCommandLine(const std::string& line) {
    std::vector<std::string> arguments;
    size_t at = 0;
    while (at < line.size()) {
        if (line[at] == ' ') {
            ++at;
            continue;
        }
        size_t end = line[at] == '"' ? line.find('"', at + 1) : line.find(' ', at);
        if (end == std::string::npos)
            end = line.size();
        arguments.push_back(line[at] == '"' ? line.substr(at + 1, end - at - 1) : line.substr(at, end - at));
        at = end + 1;
    }
    return arguments;
}

}  // namespace pellora::fakes
