// Tab completion: the names vux serves with VUXCOMPLETE=1, straight from the tree file, then the same
// names through the installed wrappers in real bash, zsh and fish. A folder name
// written to inject a command must come back as a name and run nothing.
#include <algorithm>
#include <sstream>

#include "native_fixture.h"

namespace {

// No blank in it, so that it is offered whole (a name with one comes as a prefix key).
const std::string hostileName =
    "odd'q'$(touch${IFS}INJECTED)`touch${IFS}INJECTED`&x;touch${IFS}INJECTED\"z\"";

std::vector<std::string> sortedLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    return lines;
}

// Every path below `folder` whose last name is INJECTED.
bool injected(const std::string& folder) {
    for (const std::string& entry : harness::listNames(folder)) {
        std::string path = folder + "/" + entry;
        if (entry == "INJECTED" || (harness::isDirectory(path) && injected(path))) return true;
    }
    return false;
}

// A real interactive shell in zsh's pseudo terminal: setup, the line typed, Tab, then
// the line run, which prints each word it hands over as <word>.
std::string onCommandLine(const std::string& shell, const std::string& lines) {
    return "zmodload zsh/zpty\n"
           "complete_line() {\n"
           "    zpty vuxz '" +
           shell +
           "'\n"
           "    zpty -w vuxz \"PS1='> '; $1\"\n"
           "    zpty -wn vuxz \"$2\"$'\\t\\C-aprintf \"<%s>\" \"RES\"\"ULT\" \\C-e; echo\\n'\n"
           "    local out= chunk i\n"
           "    for i in {1..400}; do\n"
           "        if zpty -rt vuxz chunk 2>/dev/null; then\n"
           "            out+=$chunk\n"
           "            [[ $out == *'<RESULT>'*$'\\n'* ]] && break\n"
           "        else\n"
           "            sleep 0.05\n"
           "        fi\n"
           "    done\n"
           "    zpty -d vuxz\n"
           "    out=${out#*<RESULT>}\n"
           "    print -r -- \"${out%%$'\\r'*}\"\n"
           "}\n" +
           lines;
}

// Single quotes for zsh, a ' written as '\''.
std::string zshQuoted(const std::string& text) {
    std::string out = "'";
    for (char ch : text) out += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
    return out + "'";
}

}  // namespace

class Completion : public NativeDrives {
protected:
    void SetUp() override {
        for (const char* folder : {"Docs/x", "docs", "a/Documents", "a/docs", "a/dos/bin", "WORK", "MY=Foo",
                                   "my folder", " lead"}) {
            harness::makeDirs(c(folder));
        }
        harness::makeDirs(c("P/" + hostileName));
        harness::makeDirs(d("dd/Doom"));
        harness::makeDirs(root / "home");
        env["HOME"] = root / "home";
        ASSERT_EQ(vux({"/q", "/r"}, c("")).code, 127);
        ASSERT_EQ(vux({"/q", "/r"}, d("")).code, 127);
        harness::makeDirs(d("INST"));
        ASSERT_EQ(vux({"/install", "/q"}, d("INST")).code, 127);
    }

    harness::RunResult complete(const std::string& word, const std::string& cwd) {
        harness::Environment asked = env;
        asked["VUXCOMPLETE"] = "1";
        return harness::run({program(), word}, asked, cwd);
    }

    std::string wrapper(const char* name) const { return d("INST/") + name; }
};

TEST_F(Completion, OffersEachMatchingNameOnceFromTheKeysDrive) {
    struct Case {
        std::string word;
        std::vector<std::string> names;  // sorted
    };
    const Case cases[] = {
        {"doc", {"Docs", "Documents", "docs"}},
        {"DOC", {"Docs", "Documents", "docs"}},
        {"docs", {"Docs", "docs"}},
        {"d:do", {"d:Doom"}},
        {"D:", {"D:Doom", "D:dd"}},
        {"c:wo", {"c:WORK"}},
        {"dos/b", {"dos/bin"}},
        {"OS\\b", {"OS\\bin"}},  // the head lines up with the end of the line's head
        {"a\\", {"a\\Documents", "a\\docs", "a\\dos"}},
        {"odd", {hostileName}},
        {"m", {"MY=Foo", "my*"}},  // a name with a blank comes as the key that reaches it
        {"my f", {}},
        {"nothing", {}},
        {"/q", {}},
        {"-x", {}},
        {"..", {}},
        {"\\a", {}},
        {"d:\\dd", {}},
        {"q:x", {}},  // no such drive
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.word);
        auto r = complete(test.word, c("WORK"));
        EXPECT_EQ(sortedLines(r.out), test.names);
        EXPECT_EQ(r.err, "");
    }
    // No word at all: every name of the drive, once.
    std::vector<std::string> every;
    for (const std::string& line : sortedLines(file(tools("dirtree.C")))) {
        std::string name = line.substr(line.rfind('\\') + 1);
        name.pop_back();  // the CR
        if (name.find(' ') != std::string::npos) name = name.substr(0, name.find(' ')) + "*";
        if (name == "*") continue;
        if (std::find(every.begin(), every.end(), name) == every.end()) every.push_back(name);
    }
    std::sort(every.begin(), every.end());
    EXPECT_EQ(sortedLines(complete("", c("WORK")).out), every);

    // vux.cfg's switches apply as they do to a search; its faults end it silently.
    harness::writeFile(tools("vux.cfg"), "/q /c\r\n");
    EXPECT_EQ(sortedLines(complete("doc", c("WORK")).out), std::vector<std::string>{"docs"});
    harness::writeFile(tools("vux.cfg"), "/nosuch\r\n");
    auto r = complete("doc", c("WORK"));
    EXPECT_EQ(r.code, 101);
    EXPECT_EQ(r.out + r.err, "");
}

TEST_F(Completion, NeverScansNorWrites) {
    harness::writeFile(tools("dovux.bat"), "kept\r\n");
    harness::writeFile(tools("dovux.sh"), "kept\n");
    harness::removeAll(tools("dirtree.C"));
    auto r = complete("doc", c("WORK"));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(harness::fileExists(tools("dirtree.C")));
    EXPECT_EQ(file(tools("dovux.bat")), "kept\r\n");
    EXPECT_EQ(file(tools("dovux.sh")), "kept\n");

    // The data folder is the one vux would use; lines the search skips (too long to
    // name a directory, holding a NUL) are skipped here too, a last line without
    // its line end is not.
    harness::makeDirs(d("DATA"));
    harness::writeFile(d("DATA/dirtree.C"), "C:\\elsewhere\r\nC:\\a\\Elsewise\r\nC:\\else" +
                                                std::string(300, 'x') + "\r\n" +
                                                std::string("C:\\elsenul\0\r\n", 13) + "C:\\elselast");
    env["VUXDATADIR"] = d("DATA");
    EXPECT_EQ(sortedLines(complete("else", c("WORK")).out),
              (std::vector<std::string>{"Elsewise", "elselast", "elsewhere"}));
    EXPECT_EQ(harness::listNames(d("DATA")), std::vector<std::string>{"dirtree.C"});
}

TEST_F(Completion, BashCompletesTheWordBashSplits) {
    if (!harness::haveProgram("bash")) GTEST_SKIP() << "bash is not installed";
    // As bash calls it: the line, the point, and the words split at blanks and at
    // the characters of COMP_WORDBREAKS (d:do becomes d, : and do).
    const std::string script =
        "source '" + wrapper("vux.sh") +
        "'\n"
        "comp() {\n"
        "    COMP_LINE=$1; COMP_POINT=${#1}; shift\n"
        "    COMP_WORDS=(\"$@\"); COMP_CWORD=$(($# - 1))\n"
        "    _vux_complete vux \"${COMP_WORDS[COMP_CWORD]}\" \"${COMP_WORDS[COMP_CWORD-1]}\"\n"
        "    printf '%s\\n' \"${COMPREPLY[@]}\" | sort | tr '\\n' '|'; echo\n"
        "}\n"
        "comp 'vux doc' vux doc\n"
        "comp 'vux d:do' vux d : do\n"
        "comp 'vux my=f' vux my = f\n"
        "comp 'vux /q dos/b' vux /q dos/b\n"
        "comp 'vux od' vux od\n"
        "comp \"vux 'odd\" vux \"'odd\"\n"
        "comp 'vux nothing' vux nothing\n"
        "complete -p vux\n"
        "comp 'vux odd' vux odd\n"
        // Enter on the completed line: the name is one word, and runs nothing.
        "eval \"printf '<%s>' vux ${COMPREPLY[0]}\"; echo\n";
    auto r = harness::run({"bash", "--norc", "--noprofile", "-c", script}, env, c("WORK"));
    const std::string quoted =
        "odd\\'q\\'\\$\\(touch\\$\\{IFS\\}INJECTED\\)\\`touch\\$\\{IFS\\}INJECTED\\`\\&x\\;touch\\$\\{IFS\\}"
        "INJECTED\\\"z\\\"";
    // After an open quote: inside that quote, which bash closes behind it.
    const std::string inQuote =
        "odd'\\''q'\\''$(touch${IFS}INJECTED)`touch${IFS}INJECTED`&x;touch${IFS}INJECTED\"z\"";
    EXPECT_EQ(r.out, "Docs|Documents|docs|\nDoom|\nFoo|\ndos/bin|\n" + quoted + "|\n" + inQuote + "|\n|\n" +
                         "complete -F _vux_complete vux\n" + quoted + "|\n<vux><" + hostileName + ">\n");
    EXPECT_EQ(r.err, "");
    EXPECT_FALSE(injected(root.path()));
}

TEST_F(Completion, ZshCompletesOnTheCommandLine) {
    if (!harness::haveProgram("zsh")) GTEST_SKIP() << "zsh is not installed";
    const std::string script = onCommandLine(
        "zsh -f -i", "early='autoload -Uz compinit; compinit -u -D; source " + wrapper("vux.sh") +
                         "'\n"
                         "late='source " +
                         wrapper("vux.sh") +
                         "; autoload -Uz compinit; compinit -u -D'\n"
                         "complete_line $early 'vux od'\n"
                         "complete_line $late 'vux d:do'\n"
                         "complete_line $early 'vux DOS/B'\n");
    auto r = harness::run({"zsh", "-f", "-c", script}, env, c("WORK"));
    EXPECT_EQ(r.out, "<vux><" + hostileName + ">\n<vux><d:Doom>\n<vux><DOS/bin>\n");
    EXPECT_FALSE(injected(root.path()));
}

TEST_F(Completion, BashQuotesAsTheWordWasBegun) {
    if (!harness::haveProgram("zsh") || !harness::haveProgram("bash")) GTEST_SKIP() << "needs zsh and bash";
    // After an open quote, the name goes inside that quote and bash closes it.
    harness::makeDirs(c("R&D's"));
    ASSERT_EQ(vux({"/q", "/r"}, c("")).code, 127);
    std::string lines;
    for (const char* line : {"vux r", "vux 'r", "vux \"r", "vux 'c:r", "vux c:\"r"}) {
        lines += "complete_line " + zshQuoted("source " + wrapper("vux.sh")) + " " + zshQuoted(line) + "\n";
    }
    auto r =
        harness::run({"zsh", "-f", "-c", onCommandLine("bash --norc --noprofile -i", lines)}, env, c("WORK"));
    EXPECT_EQ(r.out, "<vux><R&D's>\n<vux><R&D's>\n<vux><R&D's>\n<vux><c:R&D's>\n<vux><c:R&D's>\n");
}

TEST_F(Completion, FishCompletesTheToken) {
    if (!harness::haveProgram("fish")) GTEST_SKIP() << "fish is not installed";
    const std::string script = "source '" + wrapper("vux.fish") +
                               "'\n"
                               "for line in 'vux docu' 'vux d:do' 'vux dos/b' 'vux od' \"vux odd\\\\'q\" "
                               "'vux \"odd' 'vux nothing'\n"
                               "    complete -C $line; echo '|'\n"
                               "end\n";
    auto r = harness::run({"fish", "--no-config", "-c", script}, env, c("WORK"));
    EXPECT_EQ(r.out, "Documents\n|\nd:Doom\n|\ndos/bin\n|\n" + hostileName + "\n|\n" + hostileName + "\n|\n" +
                         hostileName + "\n|\n|\n");
    EXPECT_EQ(r.err, "");
    EXPECT_FALSE(injected(root.path()));
}

TEST_F(Completion, TcshCompletesTheLastWordOfTheLine) {
    if (!harness::haveProgram("tcsh")) GTEST_SKIP() << "tcsh is not installed";
    // Each name begins with the word as typed, since tcsh keeps no other; tcsh
    // expands the braces of ${IFS} in what it offers, but runs none of it.
    std::string lines;
    for (const char* line : {"vux docu", "vux d:do", "vux /q dos/b", "vux od"}) {
        lines += "complete_line " + zshQuoted("source '" + wrapper("vux.csh") + "'") + " " + zshQuoted(line) +
                 "\n";
    }
    auto r = harness::run({"zsh", "-f", "-c", onCommandLine("tcsh -f -i", lines)}, env, c("WORK"));
    EXPECT_EQ(r.out,
              "<vux><documents>\n<vux><d:doom>\n<vux></q><dos/bin>\n<vux><odd'q'$(touch$IFSINJECTED)`touch$"
              "IFSINJECTED`&x;touch$IFSINJECTED\"z\">\n");
    EXPECT_FALSE(injected(root.path()));
}
