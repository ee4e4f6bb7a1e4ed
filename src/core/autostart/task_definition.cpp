#include "core/autostart/task_definition.h"

#include <cstdint>

#include "core/util/utf16.h"

namespace pellora::autostart {

namespace {

constexpr size_t kMaxDepth = 64;

// The document as UTF-8, after its byte-order mark or the look of its first bytes.
std::string Decode(std::string_view b) {
    auto starts = [&](std::string_view prefix) { return b.substr(0, prefix.size()) == prefix; };
    if (starts("\xFF\xFE"))
        return Utf16LeToUtf8(b.substr(2));
    if (starts("\xFE\xFF"))
        return Utf16BeToUtf8(b.substr(2));
    if (starts("\xEF\xBB\xBF"))
        return std::string(b.substr(3));
    if (b.size() >= 2 && b[0] != 0 && b[1] == 0)
        return Utf16LeToUtf8(b);
    if (b.size() >= 2 && b[0] == 0 && b[1] != 0)
        return Utf16BeToUtf8(b);
    return std::string(b);
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The local part of a qualified name ("task:Exec" -> "Exec").
std::string_view Local(std::string_view name) {
    const size_t colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

// Character data with its references replaced; false on a malformed reference.
bool AppendText(std::string& out, std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c != '&') {
            out += c;
            ++i;
            continue;
        }
        const size_t semi = text.find(';', i);
        if (semi == std::string_view::npos || semi - i > 12)
            return false;
        const std::string_view ref = text.substr(i + 1, semi - i - 1);
        if (ref == "lt")
            out += '<';
        else if (ref == "gt")
            out += '>';
        else if (ref == "amp")
            out += '&';
        else if (ref == "quot")
            out += '"';
        else if (ref == "apos")
            out += '\'';
        else if (ref.size() >= 2 && ref[0] == '#') {
            const bool hex = ref[1] == 'x';
            std::string_view digits = ref.substr(hex ? 2 : 1);
            if (digits.empty())
                return false;
            uint32_t value = 0;
            for (char d : digits) {
                int digit;
                if (d >= '0' && d <= '9')
                    digit = d - '0';
                else if (hex && (d | 0x20) >= 'a' && (d | 0x20) <= 'f')
                    digit = (d | 0x20) - 'a' + 10;
                else
                    return false;
                value = value * (hex ? 16 : 10) + static_cast<uint32_t>(digit);
                if (value > 0x10FFFF)
                    return false;
            }
            if (value == 0)
                return false;
            AppendUtf8(out, value);
        } else {
            return false;
        }
        i = semi + 1;
    }
    return true;
}

std::string Trim(const std::string& text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsSpace(text[begin]))
        ++begin;
    while (end > begin && IsSpace(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

class Reader {
  public:
    explicit Reader(std::string text) : text_(std::move(text)) {}

    TaskReadResult Run() {
        TaskReadResult result;
        TaskDefinition definition;
        std::string problem = Scan(definition);
        if (!problem.empty()) {
            result.problem = problem;
            return result;
        }
        if (!sawTask_) {
            result.problem = "not a task definition";
            return result;
        }
        result.definition = std::move(definition);
        return result;
    }

  private:
    // The path of open elements, as local names.
    bool PathIs(std::initializer_list<std::string_view> names) const {
        if (stack_.size() != names.size())
            return false;
        size_t i = 0;
        for (std::string_view name : names)
            if (stack_[i++] != name)
                return false;
        return true;
    }

    std::string Scan(TaskDefinition& definition) {
        size_t i = 0;
        const std::string& t = text_;
        while (i < t.size()) {
            if (t[i] != '<') {
                const size_t next = t.find('<', i);
                const size_t end = next == std::string::npos ? t.size() : next;
                if (!AppendText(chars_, std::string_view(t).substr(i, end - i)))
                    return "bad character reference";
                i = end;
                continue;
            }
            if (t.compare(i, 4, "<!--") == 0) {
                const size_t end = t.find("-->", i + 4);
                if (end == std::string::npos)
                    return "unterminated comment";
                i = end + 3;
                continue;
            }
            if (t.compare(i, 9, "<![CDATA[") == 0) {
                const size_t end = t.find("]]>", i + 9);
                if (end == std::string::npos)
                    return "unterminated CDATA";
                chars_.append(t, i + 9, end - i - 9);
                i = end + 3;
                continue;
            }
            if (t.compare(i, 2, "<!") == 0)
                return "document type declarations are not accepted";
            if (t.compare(i, 2, "<?") == 0) {
                const size_t end = t.find("?>", i + 2);
                if (end == std::string::npos)
                    return "unterminated processing instruction";
                i = end + 2;
                continue;
            }
            const bool closing = i + 1 < t.size() && t[i + 1] == '/';
            size_t pos = i + (closing ? 2 : 1);
            const size_t nameStart = pos;
            while (pos < t.size() && !IsSpace(t[pos]) && t[pos] != '>' && t[pos] != '/')
                ++pos;
            const std::string name(Local(std::string_view(t).substr(nameStart, pos - nameStart)));
            if (name.empty())
                return "malformed tag";
            // Attributes: skipped, honouring quotes so a '>' inside a value does not end the tag.
            char quote = 0;
            while (pos < t.size() && (quote || t[pos] != '>')) {
                if (quote && t[pos] == quote)
                    quote = 0;
                else if (!quote && (t[pos] == '"' || t[pos] == '\''))
                    quote = t[pos];
                else if (!quote && t[pos] == '<')
                    return "malformed tag";
                ++pos;
            }
            if (pos >= t.size())
                return "unterminated tag";
            const bool selfClosing = !closing && t[pos - 1] == '/';
            i = pos + 1;
            if (closing) {
                if (stack_.empty() || stack_.back() != name)
                    return "mismatched end tag";
                Close(definition);
                continue;
            }
            if (stack_.empty() && (sawTask_ || name != "Task"))
                return "not a task definition";
            if (stack_.size() >= kMaxDepth)
                return "nested too deep";
            stack_.push_back(name);
            chars_.clear();
            if (stack_.size() == 1)
                sawTask_ = true;
            Open(definition);
            if (selfClosing)
                Close(definition);
        }
        if (!stack_.empty())
            return "unterminated element";
        return {};
    }

    void Open(TaskDefinition& definition) {
        if (PathIs({"Task", "Actions", "Exec"}))
            definition.actions.push_back(TaskAction{});
        else if (PathIs({"Task", "Actions", "ComHandler"}))
            definition.actions.push_back(TaskAction{TaskAction::Kind::ComHandler, {}, {}, {}});
    }

    void Close(TaskDefinition& definition) {
        const bool inExec = stack_.size() == 4 && PathIs({"Task", "Actions", "Exec", stack_[3]});
        const bool inCom = stack_.size() == 4 && PathIs({"Task", "Actions", "ComHandler", stack_[3]});
        if (inExec && !definition.actions.empty()) {
            TaskAction& action = definition.actions.back();
            if (stack_[3] == "Command")
                action.command = Trim(chars_);
            else if (stack_[3] == "Arguments")
                action.arguments = Trim(chars_);
            else if (stack_[3] == "WorkingDirectory")
                action.workingDirectory = Trim(chars_);
        } else if (inCom && stack_[3] == "ClassId" && !definition.actions.empty()) {
            definition.actions.back().command = Trim(chars_);
        } else if (PathIs({"Task", "Settings", "Enabled"})) {
            definition.enabled = Trim(chars_) != "false" && Trim(chars_) != "0";
        }
        stack_.pop_back();
        chars_.clear();
    }

    std::string text_;
    std::vector<std::string> stack_;
    std::string chars_;  // character data of the innermost element so far
    bool sawTask_ = false;
};

}  // namespace

TaskReadResult ReadTaskDefinition(std::string_view bytes) {
    if (bytes.size() > kMaxTaskDefinitionLength)
        return TaskReadResult{std::nullopt, "definition too large"};
    return Reader(Decode(bytes)).Run();
}

}  // namespace pellora::autostart
