#include <gtest/gtest.h>

#include "core/autostart/task_definition.h"
#include "core/util/utf16.h"

namespace pellora::autostart {
namespace {

// As the Task Scheduler writes a definition (abridged), with the traps a careless reader falls
// into: an Enabled element in a trigger, references, CDATA, a prefixed element, comments.
constexpr const char* kDefinition = R"(<?xml version="1.0" encoding="UTF-16"?>
<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">
  <RegistrationInfo><URI>\Vendor\Updater</URI><Description>a &lt;b&gt; c</Description></RegistrationInfo>
  <Triggers><LogonTrigger><Enabled>true</Enabled></LogonTrigger></Triggers>
  <Settings>
    <Enabled>false</Enabled>
    <Hidden>true</Hidden>
  </Settings>
  <!-- <Actions><Exec><Command>C:\commented.exe</Command></Exec></Actions> -->
  <Actions Context="Author">
    <Exec>
      <Command>"%ProgramFiles%\Vendor\up date.exe"</Command>
      <Arguments>/silent &quot;x y&quot; &#x41;&#66;</Arguments>
      <WorkingDirectory>C:\Work</WorkingDirectory>
    </Exec>
    <task:Exec xmlns:task="http://schemas.microsoft.com/windows/2004/02/mit/task">
      <task:Command><![CDATA[C:\a<b>.exe]]></task:Command>
    </task:Exec>
    <ComHandler><ClassId>{11111111-2222-3333-4444-555555555555}</ClassId><Data>x</Data></ComHandler>
    <Exec attr='a > b'><Command>C:\third.exe</Command><Arguments/></Exec>
  </Actions>
</Task>
)";

void ExpectDefinition(const TaskReadResult& read) {
    ASSERT_TRUE(read.definition) << read.problem;
    const TaskDefinition& task = *read.definition;
    EXPECT_FALSE(task.enabled);
    ASSERT_EQ(task.actions.size(), 4u);
    EXPECT_EQ(task.actions[0].command, R"("%ProgramFiles%\Vendor\up date.exe")");
    EXPECT_EQ(task.actions[0].arguments, R"(/silent "x y" AB)");
    EXPECT_EQ(task.actions[0].workingDirectory, R"(C:\Work)");
    EXPECT_EQ(task.actions[1].command, R"(C:\a<b>.exe)");
    EXPECT_EQ(task.actions[2].kind, TaskAction::Kind::ComHandler);
    EXPECT_EQ(task.actions[2].command, "{11111111-2222-3333-4444-555555555555}");
    EXPECT_EQ(task.actions[3].command, R"(C:\third.exe)");
    EXPECT_EQ(task.actions[3].arguments, "");
}

TEST(TaskDefinition, ReadsActionsAndEnabledInEveryEncodingWindowsWrites) {
    const std::string utf8 = kDefinition;
    ExpectDefinition(ReadTaskDefinition("\xFF\xFE" + Utf8ToUtf16Le(utf8)));
    ExpectDefinition(ReadTaskDefinition(Utf8ToUtf16Le(utf8)));
    ExpectDefinition(ReadTaskDefinition("\xEF\xBB\xBF" + utf8));
    ExpectDefinition(ReadTaskDefinition(utf8));

    // Without Settings/Enabled a task is enabled; an action-less task has no actions.
    TaskReadResult plain = ReadTaskDefinition("<Task><Actions/></Task>");
    ASSERT_TRUE(plain.definition);
    EXPECT_TRUE(plain.definition->enabled);
    EXPECT_TRUE(plain.definition->actions.empty());
}

TEST(TaskDefinition, DamagedOrHostileDefinitionsAreRefusedWithAReason) {
    struct Case {
        std::string bytes;
        const char* problem;
    };
    std::string deep = "<Task>";
    for (int i = 0; i < 100; ++i)
        deep += "<a>";
    for (
        const Case& c : std::initializer_list<Case>{
            {R"(<!DOCTYPE Task [<!ENTITY x "C:\evil.exe">]><Task><Actions><Exec><Command>&x;</Command></Exec></Actions></Task>)",
             "document type declarations are not accepted"},
            {"<Task><Actions><Exec><Command>&x;</Command></Exec></Actions></Task>", "bad character reference"},
            {"<Task><Actions></Exec></Actions></Task>", "mismatched end tag"},
            {"<Task><Actions>", "unterminated element"},
            {"<Task><Actions", "unterminated tag"},
            {"<Task><!-- open", "unterminated comment"},
            {"<Other/>", "not a task definition"},
            {"<Task/><Task/>", "not a task definition"},
            {"", "not a task definition"},
            {"<Task><Command>&#0;</Command></Task>", "bad character reference"},
            {deep, "nested too deep"},
            {std::string(kMaxTaskDefinitionLength + 1, ' '), "definition too large"},
        }) {
        TaskReadResult read = ReadTaskDefinition(c.bytes);
        EXPECT_FALSE(read.definition) << c.bytes.substr(0, 80);
        EXPECT_EQ(read.problem, c.problem) << c.bytes.substr(0, 80);
    }
}

}  // namespace
}  // namespace pellora::autostart
