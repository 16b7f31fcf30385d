// The option words: how the parser matches them against the table's patterns
// (shortened forms, case, the dash, arguments, words run together), and the display
// forms that the help screen and the error messages show.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "options/action_list.h"
#include "options/option_table.h"
#include "options/parser.h"
#include "run_state_fixture.h"

namespace {

using Options = RunStateTest;

// The action list a parse of the words leaves, as "number:argument" items, or
// "exit N" when the run would end.
std::string parse(std::vector<std::string> words) {
    std::vector<char*> argv;
    static char programName[] = "C:\\vux";
    argv.push_back(programName);
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    ::testing::internal::CaptureStdout();  // the help screen and the error lines
    int code = endCode([&] {
        // No drive Q exists: there is no configuration file.
        vux::parseOptions(vux::optionTable, vux::switchChar, "Q:\\vux.cfg", static_cast<int>(argv.size() - 1),
                          argv.data());
    });
    ::testing::internal::GetCapturedStdout();
    if (code >= 0) return "exit " + std::to_string(code);
    std::string list;
    for (int i = 0; i < vux::actionList.count; ++i) {
        const vux::Action& action = vux::actionList.actions[i];
        if (!list.empty()) list += ' ';
        list += std::to_string(action.row->actionNumber);
        if (action.argument[0] != '\0') list += std::string(":") + action.argument;
    }
    return list;
}

}  // namespace

TEST_F(Options, WordsMatchedAgainstPatterns) {
    struct Case {
        std::vector<std::string> words;
        const char* actions;
    } cases[] = {
        {{"/r"}, "40"},
        {{"/rescan"}, "40"},
        {{"/REScan"}, "40"},
        {{"-r"}, "40"},
        {{"/res"}, "exit 101"},  // a tail is all or nothing
        {{"/rx"}, "exit 101"},
        {{"/rescanx"}, "20:x 40"},  // the whole pattern ends the option word
        {{"/rescan/n"}, "41"},      // and the next may follow at once; n cancels r
        {{"/r/n"}, "exit 101"},
        {{"/c"}, "60"},
        {{"/case", "sensitive"}, "60"},  // words are joined with one blank
        {{"/case"}, "exit 101"},
        {{"/e"}, "exit 101"},
        {{"/ex"}, "61"},
        {{"/inst"}, "0"},
        {{"/insta"}, "exit 101"},
        {{"/inst", "/inst"}, "exit 102"},
        {{"/disable", "backlog"}, "26"},
        {{"/disable"}, "exit 101"},
        {{"/define", "home", "..\\x"}, "31:..\\x"},
        {{"/define", "home"}, "31"},
        {{"/DEFINE", "HOME", "x"}, "31:x"},
        {{"/h"}, "32"},
        {{"/home"}, "32"},
        {{"/help"}, ""},  // help comes before home in the table; its validator removes it
        {{"/?"}, ""},
        {{"/b"}, "30"},
        {{"/b", "x"}, "exit 23"},
        {{"x", "/h"}, "exit 22"},
        {{"/q", "/v", "/m"}, "12"},  // the last verbosity word wins
        {{"/n", "/r"}, "40"},
        {{"dos", "/n"}, "20:dos 41"},
        {{"dos", "src"}, "exit 102"},
        {{"/"}, "exit 101"},
        {{"-x"}, "exit 101"},
    };
    for (const Case& each : cases) {
        std::string trace;
        for (const std::string& word : each.words) trace += word + " ";
        SCOPED_TRACE(trace);
        test_support::resetWholeRun();
        EXPECT_EQ(parse(each.words), each.actions);
    }
}

TEST_F(Options, DisplayForms) {
    struct Case {
        int row;  // index in the table
        char switchCharacter;
        const char* form;
    } cases[] = {
        {0, '/', "search key"},         {1, '/', "/?"},         {3, '/', "/r[escan]"},
        {3, '-', "-r[escan]"},          {5, '/', "/inst[all]"}, {12, '/', "/disable backlog"},
        {13, '/', "/define home path"}, {14, '/', "/h[ome]"},
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(vux::optionTable[each.row].pattern);
        char* form = vux::displayForm(vux::optionTable[each.row], each.switchCharacter);
        EXPECT_STREQ(form, each.form);
        std::free(form);
    }
}
