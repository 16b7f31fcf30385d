// Scoring of tree lines against a key: the kinds of match, the choice among
// equals around the current directory, and the text operations it rests on.
#include "search/match_score.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "complete/complete_names.h"
#include "driver/run_state.h"
#include "harness.h"
#include "run_state_fixture.h"
#include "search/line_filter.h"

namespace {

const std::vector<std::string> sampleTree = {
    "C:\\BIN", "C:\\DOS", "C:\\DOS\\BIN", "C:\\WORK", "C:\\WORK\\DOSSTUFF",
};

// What one pass over a tree ends with: the line changed to at once, or the line
// held at the end ("" when none).
struct PassOutcome {
    std::string changedAtOnce;
    std::string held;
};

// A pass as the search makes it: the current directory's own line is scored as
// before it, a drive root counts every line as after it. Nothing here can be
// entered, so an immediate change returns without effect.
PassOutcome runPass(const std::vector<std::string>& tree, const std::string& key,
                    const std::string& current) {
    vux::clearBestCandidate();
    int passed = current.find('\\') == current.size() - 1 ? 1 : 0;
    for (const std::string& text : tree) {
        std::vector<char> line(text.begin(), text.end());
        line.push_back('\0');
        if (vux::scoreLine(line.data(), key.c_str(), passed) != 0) return {text, ""};
        if (passed == 0 && vux::compareText(line.data(), current.c_str()) == 0) passed = 1;
    }
    return {"", vux::bestCandidate.path};
}

using Scoring = RunStateTest;

}  // namespace

TEST_F(Scoring, WorkedExamples) {
    struct Case {
        const char* key;
        bool wildcard;
        const char* current;
        bool partialOn;
        const char* changedAtOnce;
        const char* held;
    } cases[] = {
        {"dos", false, "C:\\", false, "C:\\DOS", ""},
        {"dos", false, "C:\\DOS", false, "", "C:\\DOS"},
        {"dos", true, "C:\\DOS", false, "", "C:\\WORK\\DOSSTUFF"},
        {"do", false, "C:\\DOS", false, "", "C:\\WORK\\DOSSTUFF"},
        {"do", false, "C:\\WORK\\DOSSTUFF", false, "", "C:\\DOS"},
        {"bin", false, "C:\\DOS", false, "C:\\DOS\\BIN", ""},
        {"bin", false, "C:\\DOS\\BIN", false, "", "C:\\BIN"},
        {"dos\\bin", false, "C:\\", false, "C:\\DOS\\BIN", ""},
        {"os\\bin", false, "C:\\WORK", false, "", "C:\\DOS\\BIN"},
        {"dosx", false, "C:\\", false, "", ""},
        {"dosx", false, "C:\\", true, "", "C:\\DOS"},
        {"dosx", false, "C:\\DOS", true, "", "C:\\WORK\\DOSSTUFF"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + (c.wildcard ? "*" : "") + " from " + c.current);
        test_support::resetWholeRun();
        vux::wildcardKey = c.wildcard ? 1 : 0;
        vux::noRescan = c.partialOn ? 1 : 0;
        PassOutcome outcome = runPass(sampleTree, c.key, c.current);
        EXPECT_EQ(outcome.changedAtOnce, c.changedAtOnce);
        EXPECT_EQ(outcome.held, c.held);
    }
}

TEST_F(Scoring, RootsEmptyLinesAndCase) {
    char root[] = "C:\\";
    char empty[] = "";
    vux::clearBestCandidate();
    EXPECT_EQ(vux::scoreLine(root, "c", 0), 0);
    EXPECT_EQ(vux::scoreLine(empty, "c", 0), 0);
    EXPECT_STREQ(vux::bestCandidate.path, "");

    EXPECT_EQ(runPass({"C:\\DOS"}, "Dos", "C:\\X").held, "C:\\DOS");
    vux::caseInsensitive = 0;
    EXPECT_EQ(runPass({"C:\\DOS"}, "Dos", "C:\\X").held, "");
    vux::noRescan = 1;
    EXPECT_EQ(runPass({"C:\\DOS"}, "Dos", "C:\\X").held, "C:\\DOS");
    EXPECT_EQ(vux::bestCandidate.isPartial, 1);
    EXPECT_EQ(vux::bestCandidate.partialLength, 1);
}

TEST_F(Scoring, KeysWithSeparators) {
    // A head alone matches every line whose head ends so; none is exact.
    PassOutcome outcome = runPass({"C:\\DOS\\BIN", "C:\\MSDOS\\BIN", "C:\\DOS"}, "dos\\", "C:\\MSDOS\\BIN");
    EXPECT_EQ(outcome.held, "C:\\DOS\\BIN");
    EXPECT_EQ(vux::bestCandidate.isExact, 0);
    outcome = runPass({"C:\\DOS\\BIN", "C:\\MSDOS\\BIN"}, "dos\\", "C:\\DOS\\BIN");
    EXPECT_EQ(outcome.held, "C:\\MSDOS\\BIN");
    // The line's head must be at least as long as the key's.
    EXPECT_EQ(runPass({"C:\\BIN"}, "dos\\bin", "C:\\X").held, "");
    EXPECT_EQ(runPass({"C:\\BINARY"}, "c:\\bin", "C:\\X").held, "C:\\BINARY");
}

TEST_F(Scoring, PartialMatchingNeedsScanOrNoRescanAndNotExactOnly) {
    std::vector<std::string> tree = {"C:\\DOS", "C:\\DOCS"};
    EXPECT_EQ(runPass(tree, "dosx", "C:\\").held, "");
    vux::rescanned = 1;
    EXPECT_EQ(runPass(tree, "dosx", "C:\\").held, "C:\\DOS");
    EXPECT_EQ(runPass(tree, "docx", "C:\\").held, "C:\\DOCS");  // p = 3 beats p = 2
    vux::exactOnly = 1;
    EXPECT_EQ(runPass(tree, "dosx", "C:\\").held, "");
    EXPECT_EQ(runPass(tree, "do", "C:\\X").held, "C:\\DOS");  // leading still counts
}

TEST_F(Scoring, PartialTies) {
    vux::noRescan = 1;
    // Two equal partials before the current directory: the first stays.
    EXPECT_EQ(runPass({"C:\\ABX", "C:\\ABY", "C:\\CUR"}, "abz", "C:\\CUR").held, "C:\\ABX");
    // One after replaces one from before; a second one after does not.
    EXPECT_EQ(runPass({"C:\\ABX", "C:\\CUR", "C:\\ABY", "C:\\ABW"}, "abz", "C:\\CUR").held, "C:\\ABY");
    // A longer common beginning wins wherever it stands.
    EXPECT_EQ(runPass({"C:\\ABX", "C:\\CUR", "C:\\AY", "C:\\ABZQ"}, "abzz", "C:\\CUR").held, "C:\\ABZQ");
}

TEST_F(Scoring, FullKeyMatchShutsOutPartials) {
    vux::rescanned = 1;
    // A leading match is held: later partial lines are ignored even after a scan.
    EXPECT_EQ(runPass({"C:\\DOSSTUFF", "C:\\CUR", "C:\\DOZ"}, "dos", "C:\\CUR").held, "C:\\DOSSTUFF");
    // A leading match after the current directory beats one before; the first after stays.
    EXPECT_EQ(runPass({"C:\\DOSA", "C:\\CUR", "C:\\DOSB", "C:\\DOSC"}, "dos", "C:\\CUR").held, "C:\\DOSB");
    // An exact match before the current directory beats leading ones after it.
    EXPECT_EQ(runPass({"C:\\DOS", "C:\\CUR", "C:\\DOSB"}, "dos", "C:\\CUR").held, "C:\\DOS");
}

TEST_F(Scoring, WildcardKeyNeverExact) {
    vux::wildcardKey = 1;
    PassOutcome outcome = runPass(sampleTree, "dos", "C:\\");
    EXPECT_EQ(outcome.changedAtOnce, "");
    EXPECT_EQ(outcome.held, "C:\\DOS");
    EXPECT_EQ(vux::bestCandidate.afterCurrent, 1);
}

TEST_F(Scoring, LineWithNulByteIsNeverTaken) {
    char line[] = "C:\\DOS\0X";
    vux::clearBestCandidate();
    EXPECT_EQ(vux::scoreLineN(line, sizeof line - 1, vux::splitKey("dos", 3), 0), 0);
    EXPECT_STREQ(vux::bestCandidate.path, "");
}

// The search passes over a line without scoring it only when scoring it could
// neither change to it nor hold it.
TEST_F(Scoring, PrefilterPassesOverOnlyLinesThatCannotMatch) {
    struct Case {
        const char* line;
        const char* key;
        bool caseInsensitive;
        bool partialImpossible;
        bool mayScore;
    } cases[] = {
        {"C:\\DOS", "dos", true, true, true},
        {"C:\\BIN", "dos", true, true, false},   // another first character
        {"C:\\DOS", "dos", false, true, false},  // case counts
        {"C:\\dos", "dos", false, true, true},
        {"C:\\{A", "[a", true, true, false},  // only letters fold
        {"C:\\1X", "1x", true, true, true},
        {"C:\\DO", "dos", true, true, false},  // shorter than the key: partial only
        {"C:\\DO", "dos", true, false, true},
        {"C:\\", "c", true, false, false},  // a root has no last name
        {"C:\\DOS\\BIN", "dos\\bin", true, true, true},
        {"C:\\MSDOS\\BIN", "dos\\bin", true, true, true},
        {"C:\\MSDOZ\\BIN", "os\\bin", true, true, true},  // only the first character is looked at
        {"C:\\MSDAZ\\BIN", "os\\bin", true, true, false},
        {"C:\\MSDAZ\\BIN", "dos\\bin", true, true, true},
        {"C:\\BIN", "dos\\bin", true, false, false},  // a head longer than the line's
        {"C:\\DOS\\BI", "dos\\bin", true, false, false},
        {"C:\\12345678\\dos", "dos", true, true, true},  // separators found eight bytes at a time
        {"C:\\abcdefghijklmnopqrstuvw\\dosstuff", "dos", true, true, true},
        {"C:\\abcdefghijklmnopqrstuvw\\xdosstuff", "dos", true, true, false},
        {"C:\\dosxxxxxxxxxxxxxxxxxxxxxx", "dos", true, true, true},
        {"C:\\d\\e\\f\\g\\h\\i\\j\\k\\l\\m\\n", "n", true, true, true},
        {"C:\\d\\e\\f\\g\\h\\i\\j\\k\\l\\m\\n", "m\\n", true, true, true},
        {"C:\\d\\e\\f\\g\\h\\i\\j\\k\\l\\m\\n", "l\\n", true, true, false},
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(std::string(each.key) + " on " + each.line + (each.caseInsensitive ? "" : " /c") +
                     (each.partialImpossible ? "" : " partial"));
        test_support::resetWholeRun();
        vux::caseInsensitive = each.caseInsensitive ? 1 : 0;
        vux::noRescan = each.partialImpossible ? 0 : 1;
        const vux::KeyParts key = vux::splitKey(each.key, std::strlen(each.key));
        const std::size_t length = std::strlen(each.line);
        const bool may = vux::mayScore(vux::makeLineFilter(key, each.caseInsensitive), each.line, length);
        EXPECT_EQ(may, each.mayScore);
        std::vector<char> line(each.line, each.line + length + 1);
        vux::scoreLineN(line.data(), length, key, 0);
        if (!may) {
            EXPECT_STREQ(vux::bestCandidate.path, "") << "passed over a line that scores";
        }
    }
}

// Tab offers exactly the names whose lines the search takes as exact or leading
// matches, under either case switch; a name with a blank comes as the prefix key
// that reaches it. Completion against scoreLine over generated trees, with last
// names both short and long enough to be searched eight bytes at a time.
TEST_F(Scoring, CompletionOffersWhatTheSearchTakes) {
    std::mt19937 random(17);
    auto text = [&](std::size_t most, const char* letters) {
        std::string out(1 + random() % most, ' ');
        for (char& ch : out) ch = letters[random() % std::strlen(letters)];
        return out;
    };
    harness::TempDir folder;
    const std::string treeFile = folder / "tree";
    for (int round = 0; round < 100; ++round) {
        std::vector<std::string> lines;
        std::string content;
        for (int i = 0; i < 30; ++i) {
            std::string line = "C:";
            for (int depth = 1 + static_cast<int>(random() % 3); depth > 0; --depth) {
                line += "\\" + text(round % 2 == 0 ? 3 : 12, "aAb ");
            }
            lines.push_back(line);
            content += line + "\r\n";
        }
        harness::writeFile(treeFile, content);
        std::string key = random() % 3 == 0 ? text(2, "aAb") + "\\" : "";
        if (random() % 4 != 0) key += text(3, "aAb");
        for (int ignoreCase : {1, 0}) {
            SCOPED_TRACE(key + (ignoreCase != 0 ? "" : " /c"));
            vux::caseInsensitive = ignoreCase;
            std::set<std::string> taken;
            for (const std::string& each : lines) {
                std::vector<char> line(each.begin(), each.end());
                line.push_back('\0');
                vux::clearBestCandidate();
                vux::scoreLine(line.data(), key.c_str(), 0);
                if (vux::bestCandidate.path[0] == '\0') continue;
                const std::string name = vux::lastComponent(each.c_str());
                const std::size_t blank = name.find(' ');
                if (blank != 0) taken.insert(blank == std::string::npos ? name : name.substr(0, blank) + "*");
            }
            const int file = ::open(treeFile.c_str(), O_RDONLY);
            ASSERT_GE(file, 0);
            std::string out;
            vux::completeNames(file, key.c_str(), key.size(), "", 0, out);
            ::close(file);
            std::set<std::string> offered;
            std::istringstream names(out);
            for (std::string name; std::getline(names, name);)
                EXPECT_TRUE(offered.insert(name).second) << name;
            EXPECT_EQ(offered, taken);
        }
    }
}

TEST(TextOperations, HonourCaseSwitch) {
    test_support::resetWholeRun();
    EXPECT_EQ(vux::isEmpty(nullptr), 1);
    EXPECT_EQ(vux::isEmpty(""), 1);
    EXPECT_EQ(vux::isEmpty("x"), 0);
    EXPECT_EQ(vux::compareText("C:\\Work", "c:\\WORK"), 0);
    EXPECT_NE(vux::compareText("C:\\Work", "C:\\Wor"), 0);
    EXPECT_EQ(vux::compareTextN("DOSSTUFF", "dos", 3), 0);
    EXPECT_NE(vux::compareTextN("DO", "dos", 3), 0);
    EXPECT_EQ(vux::compareTextN("ab", "ab", 5), 0);
    EXPECT_EQ(vux::sameChar('a', 'A'), 1);
    EXPECT_EQ(vux::sameChar('[', '{'), 0);  // only letters fold
    EXPECT_STREQ(vux::lastComponent("C:\\DOS\\BIN"), "BIN");
    EXPECT_STREQ(vux::lastComponent("C:\\"), "");
    EXPECT_STREQ(vux::lastComponent("dos"), "dos");
    EXPECT_STREQ(vux::lastComponent("dos\\"), "");
    EXPECT_STREQ(vux::lastComponent("\\dos"), "\\dos");
    vux::caseInsensitive = 0;
    EXPECT_NE(vux::compareText("C:\\Work", "C:\\WORK"), 0);
    EXPECT_EQ(vux::sameChar('a', 'A'), 0);
    test_support::resetWholeRun();
}
