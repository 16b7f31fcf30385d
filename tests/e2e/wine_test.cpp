// vux.exe under Wine with Wine's own cmd.exe: the current drive and directory as the
// shell hands them over, the data files, the scan over Wine's listings, the search
// carried into the shell by the command batch, and names that the shell would
// otherwise read as commands.
#include <algorithm>
#include <functional>
#include <iterator>
#include <sstream>

#include "wine_fixture.h"

using harness::crlf;

namespace {

::testing::Environment* const serverShutDown = ::testing::AddGlobalTestEnvironment(new wine::ServerShutDown);

// The lines of text without their CR LF ends.
std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::string joinCrlf(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

std::string hostToDrive(const std::string& relative) {
    std::string path = relative;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

}  // namespace

// A hand-written wrapper: run the tool, then the command batch in the same shell.
// vux.cfg holds /q, so only what the shell prints (and errors) shows.
class WineWrapper : public WineShell {
protected:
    void SetUp() override {
        WineShell::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        harness::writeFile(d("TOOLS/v.bat"), "D:\\TOOLS\\vux.exe %1\r\ncall D:\\TOOLS\\dovux.bat\r\n");
        harness::writeFile(d("TOOLS/vux.cfg"), "/q\r\n");
    }

    // Shell lines that run the wrapper with key and then print where the shell stands.
    static std::vector<std::string> go(const std::string& key) {
        return {"call D:\\TOOLS\\v.bat " + key, "cd"};
    }

    static std::vector<std::string> from(const std::string& dir,
                                         std::vector<std::vector<std::string>> steps) {
        std::vector<std::string> lines{dir.substr(0, 2), "cd " + dir};
        for (const auto& step : steps) lines.insert(lines.end(), step.begin(), step.end());
        return lines;
    }
};

// --- Start-up under the shell ----------------------------------------------------

TEST_F(WineShell, NoArgumentsPrintsCurrentDirectoryAndEmptiesCommandBatch) {
    harness::writeFile(d("TOOLS/dovux.bat"), "E:\r\ncd E:\\\r\n");
    auto r = vux("");
    EXPECT_EQ(r.code, 127);
    EXPECT_EQ(r.out, wineBanner + "D:\\WORK\r\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(file(d("TOOLS/dovux.bat")), "");
}

TEST_F(WineShell, HelpScreenByteForByte) {
    auto line = [](const std::string& form, const std::string& description) {
        return "    " + form + std::string(22 - form.size(), ' ') + description + "\r\n";
    };
    std::string help =
        "\r\nvux enables you to change directories quickly.\r\n\r\n"
        "vux [Options] [Drive:][Search key]\r\n\r\n" +
        line("/?", "Help on using vux") + line("/r[escan]", "Force rescan of directory structure") +
        line("/n[orescan]", "No rescan of directory structure") +
        line("/inst[all]", "Create vux.bat and vux.cfg with given options") +
        line("/c[ase sensitive]", "Perform a case sensitive search") +
        line("/ex[act match]", "Accept exact matches only") + line("/v[erbose]", "Display all messages") +
        line("/q[uiet]", "Suppress informational messages") +
        line("/m[ute]", "Suppress all messages not especially asked for") +
        line("/b[ack]", "Return to previous directory") + line("/disable backlog", "Disable backlogging") +
        line("/define home path", "Define home directory") +
        line("/h[ome]", "Go to home directory (if defined)") +
        "\r\nThe data directory may be defined in an environment variable \"VUXDATADIR\".\r\n";
    ASSERT_EQ(line("/r[escan]", "x"), "    /r[escan]             x\r\n");
    auto r = vux("/?");
    EXPECT_EQ(r.code, 127);
    EXPECT_EQ(r.out, wineBanner + help);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(file(d("TOOLS/dovux.bat")), "");
}

TEST_F(WineShell, UnknownOptionFailsBeforeTheBanner) {
    auto r = vux("/x");
    EXPECT_EQ(r.code, 101);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "vux: Unknown option \"/x\"\r\n");
    // Mute does not silence an error of the parsing phase.
    r = vux("/m -zz");
    EXPECT_EQ(r.code, 101);
    EXPECT_EQ(r.err, "vux: Unknown option \"-zz\"\r\n");
}

TEST_F(WineShell, CommandBatchThatCannotBeEmptiedEndsTheRun) {
    harness::makeDirs(d("TOOLS/dovux.bat"));
    auto r = vux("tools");
    EXPECT_EQ(r.code, 5);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "vux: Unable to open D:\\TOOLS\\dovux.bat.\r\n");
}

// --- Data files --------------------------------------------------------------------

class WineDataDirectory : public WineShell, public ::testing::WithParamInterface<const char*> {};

TEST_P(WineDataDirectory, DataFilesMoveCommandBatchStays) {
    harness::makeDirs(e("DATA"));
    std::vector<std::string> setUp{std::string("set VUXDATADIR=") + GetParam()};
    auto home = vux("/q /define home", "D:\\WORK", setUp);
    EXPECT_EQ(home.code, 127);
    EXPECT_EQ(home.err, "");
    auto scan = vux("/q /r", "D:\\WORK", setUp);
    EXPECT_EQ(scan.code, 127);
    auto change = vux("/q tools", "D:\\WORK", setUp);
    EXPECT_EQ(change.code, 0);
    EXPECT_EQ(change.err, "");

    EXPECT_EQ(file(e("DATA/home.vux")), "D:\\WORK\r\n");
    EXPECT_EQ(file(e("DATA/dirtree.D")), "D:\\TOOLS\r\nD:\\WORK\r\n");
    EXPECT_EQ(file(e("DATA/back.vux")), "D:\\WORK\r\n");
    EXPECT_EQ(file(d("TOOLS/dovux.bat")), "D:\r\ncd D:\\TOOLS\r\n");
    for (const char* name : {"home.vux", "dirtree.D", "back.vux"}) {
        EXPECT_FALSE(harness::fileExists(d("TOOLS/") + name)) << name;
    }
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutSeparator, WineDataDirectory,
                         ::testing::Values("E:\\DATA", "E:\\DATA\\"));

TEST_F(WineShell, TreeFileThatCannotBeCreatedNamesItsPath) {
    auto r = vux("/r", "D:\\WORK", {"set VUXDATADIR=D:\\MISSING"});
    EXPECT_EQ(r.code, 21);
    EXPECT_EQ(r.out, wineBanner + "vux: Rescanning directory structure.\r\n");
    EXPECT_EQ(r.err, "vux: Can't create \"D:\\MISSING\\dirtree.D\".\r\n");
}

// --- The scan over Wine's listings ----------------------------------------------------

class WineScan : public WineShell {
protected:
    // The tree file the scan must write for drive D: pre-order, each folder's
    // subfolders in the order Wine's own "dir" lists them, dot-names left out with
    // everything below them, symbolic links never entered.
    std::string expectedTree() {
        std::vector<std::string> folders;  // relative host paths, "" for the root
        std::function<void(const std::string&)> collect = [&](const std::string& rel) {
            folders.push_back(rel);
            for (const std::string& name : harness::listNames(d(rel))) {
                std::string child = rel.empty() ? name : rel + "/" + name;
                if (name[0] == '.' || wine::isSymbolicLink(d(child)) || !harness::isDirectory(d(child)))
                    continue;
                collect(child);
            }
        };
        collect("");
        std::vector<std::string> lines;
        for (const std::string& rel : folders) {
            lines.push_back("echo @" + rel);
            lines.push_back("dir /b /ad \"D:\\" + hostToDrive(rel) + "\"");
        }
        auto listing = cmd(lines);
        std::map<std::string, std::vector<std::string>> children;
        std::string parent;
        for (const std::string& line : linesOf(listing.out)) {
            if (!line.empty() && line[0] == '@') {
                parent = line.substr(1);
                continue;
            }
            std::string child = parent.empty() ? line : parent + "/" + line;
            if (line.empty() || line[0] == '.' || wine::isSymbolicLink(d(child)) ||
                !harness::isDirectory(d(child))) {
                continue;
            }
            children[parent].push_back(line);
        }
        std::vector<std::string> tree;
        std::function<void(const std::string&)> walk = [&](const std::string& rel) {
            for (const std::string& name : children[rel]) {
                std::string child = rel.empty() ? name : rel + "/" + name;
                tree.push_back("D:\\" + hostToDrive(child));
                walk(child);
            }
        };
        walk("");
        return joinCrlf(tree);
    }
};

TEST_F(WineScan, TreeFollowsWineListingInPreOrder) {
    // Made out of any sorted order, so neither creation nor name order can pass for
    // the listing's.
    for (const char* dir : {"zeta", "Alpha/deep/deeper", "mid dle", "beta/inner2", "beta/Inner1", "Hidden",
                            ".git/objects", "beta/.cache/x", "Alpha/zz", "Alpha/aa"}) {
        harness::makeDirs(d(dir));
    }
    harness::writeFile(d("readme.txt"), "x");
    harness::writeFile(d("Alpha/file"), "x");
    cmd({"attrib +h D:\\Hidden"});
    std::string expected = expectedTree();
    ASSERT_NE(expected.find("D:\\Hidden\r\n"), std::string::npos) << expected;

    auto r = vux("/r");
    EXPECT_EQ(r.code, 127);
    EXPECT_EQ(r.out, wineBanner + "vux: Rescanning directory structure.\r\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(file(d("TOOLS/dirtree.D")), expected);
    EXPECT_EQ(expected.find(".git"), std::string::npos);
    EXPECT_EQ(expected.find(".cache"), std::string::npos);
}

TEST_F(WineScan, SymbolicLinksAreNotEntered) {
    harness::makeDirs(d("WORK/sub"));
    ASSERT_EQ(symlink("..", d("WORK/up").c_str()), 0);
    ASSERT_EQ(symlink(d("").c_str(), d("WORK/sub/loop").c_str()), 0);
    auto r = vux("/q /r");
    EXPECT_EQ(r.code, 127);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(file(d("TOOLS/dirtree.D")), expectedTree());
    EXPECT_EQ(file(d("TOOLS/dirtree.D")).find("\\up"), std::string::npos);
    EXPECT_EQ(file(d("TOOLS/dirtree.D")).find("\\loop"), std::string::npos);
}

TEST_F(WineScan, NamesOutsideTheCodePageAreScannedAndEntered) {
    // The ANSI code page can't spell this folder's name: the scan still lists and
    // enters it, the tree file holds its UTF-8 bytes, and the key for its child
    // leads there.
    harness::makeDirs(d("\u65e5\u672c/sub"));
    auto r = vux("/q sub");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "");
    std::string tree = file(d("TOOLS/dirtree.D"));
    EXPECT_NE(tree.find("D:\\\u65e5\u672c\r\nD:\\\u65e5\u672c\\sub\r\n"), std::string::npos) << tree;
    EXPECT_EQ(tree.find('?'), std::string::npos) << tree;
    EXPECT_EQ(linesOf(tree).size(), 4u) << tree;
}

TEST_F(WineScan, KeyWithDrivePrefixScansThatDrive) {
    harness::makeDirs(e("PROJ/src"));
    harness::writeFile(d("TOOLS/dirtree.D"), "D:\\OLD\r\n");
    auto r = vux("e:zzz*");
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(r.out, wineBanner + "vux: Rescanning directory structure.\r\n");
    EXPECT_EQ(r.err, "vux: No match found for \"zzz\".\r\n");
    EXPECT_EQ(file(d("TOOLS/dirtree.E")), "E:\\PROJ\r\nE:\\PROJ\\src\r\n");
    EXPECT_EQ(file(d("TOOLS/dirtree.D")), "D:\\OLD\r\n");
    EXPECT_EQ(file(d("TOOLS/dovux.bat")), "");
}

// --- Errors and exit codes -------------------------------------------------------------

TEST_F(WineShell, NoMatchAfterOneScan) {
    auto r = vux("zzz");
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(r.out, wineBanner + "vux: Rescanning directory structure.\r\n");
    EXPECT_EQ(r.err, "vux: No match found for \"zzz\".\r\n");
    EXPECT_EQ(file(d("TOOLS/dovux.bat")), "");
    EXPECT_FALSE(harness::fileExists(d("TOOLS/back.vux")));
    // Mute: nothing printed, the code all the same.
    r = vux("/m zzz");
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
}

TEST_F(WineShell, ExplicitTargetThatCannotBeEntered) {
    auto r = vux("/q \\nowhere");
    EXPECT_EQ(r.code, 9);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "vux: Unable to change to \"\\nowhere\".\r\n");
    EXPECT_EQ(file(d("TOOLS/dovux.bat")), "");
}

TEST_F(WineShell, DriveThatDoesNotExist) {
    auto r = vux("/q q:foo");
    EXPECT_EQ(r.code, 11);
    EXPECT_EQ(r.err, "vux: Attempt to change to drive Q: failed.\r\n");
    EXPECT_EQ(file(d("TOOLS/dovux.bat")), "");
}

TEST_F(WineShell, VanishedDirectoryIsRescannedAway) {
    harness::makeDirs(d("lib"));
    harness::writeFile(d("TOOLS/dirtree.D"), "D:\\gone\r\nD:\\lib\r\nD:\\TOOLS\r\nD:\\WORK\r\n");
    auto r = vux("/q gone");
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(r.err, "vux: No match found for \"gone\".\r\n");
    EXPECT_EQ(file(d("TOOLS/dirtree.D")).find("gone"), std::string::npos);
    harness::writeFile(d("TOOLS/dirtree.D"), "D:\\gone\r\nD:\\lib\r\nD:\\TOOLS\r\nD:\\WORK\r\n");
    r = vux("/q /n gone");
    EXPECT_EQ(r.code, 10);
    EXPECT_EQ(r.err, "vux: Unable to change to \"D:\\gone\".\r\n");
}

// --- The search carried into the shell -------------------------------------------------

TEST_F(WineWrapper, ShellEndsUpInFoundDirectory) {
    auto r = cmd(from("D:\\WORK", {go("tools")}));
    EXPECT_EQ(r.out, "D:\\TOOLS\r\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(file(d("TOOLS/dovux.bat")), "D:\r\ncd D:\\TOOLS\r\n");
    EXPECT_EQ(file(d("TOOLS/back.vux")), "D:\\WORK\r\n");
}

TEST_F(WineWrapper, SameKeyCyclesThroughEqualNamesAndWraps) {
    for (const char* dir : {"c/SRC", "a/SRC", "b/SRC"}) harness::makeDirs(d(dir));
    auto r = cmd(from("D:\\WORK", {go("src"), go("src"), go("src"), go("src")}));
    EXPECT_EQ(r.err, "");
    std::vector<std::string> order;
    for (const std::string& line : linesOf(file(d("TOOLS/dirtree.D")))) {
        if (line.size() > 4 && line.substr(line.size() - 4) == "\\SRC") order.push_back(line);
    }
    ASSERT_EQ(order.size(), 3u);
    EXPECT_EQ(r.out, joinCrlf({order[0], order[1], order[2], order[0]}));
}

TEST_F(WineWrapper, LowerCaseDriveOfTheShellStillMeetsCurrentDirectory) {
    // Wine's cmd keeps the letter as typed: the current directory reads d:\a\SRC.
    for (const char* dir : {"a/SRC", "b/SRC"}) harness::makeDirs(d(dir));
    harness::writeFile(d("TOOLS/dirtree.D"),
                       "D:\\a\r\nD:\\a\\SRC\r\nD:\\b\r\nD:\\b\\SRC\r\nD:\\TOOLS\r\nD:\\WORK\r\n");
    auto r = cmd({"d:", "cd \\a\\SRC", "D:\\TOOLS\\vux.exe /n src", "echo rc=%errorlevel%",
                  "call D:\\TOOLS\\dovux.bat", "cd"});
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "rc=0\r\nD:\\b\\SRC\r\n");
}

TEST_F(WineWrapper, DrivePrefixChangesShellDriveAndBackReturns) {
    harness::makeDirs(e("PROJ"));
    auto r = cmd(from("D:\\WORK", {go("e:proj"), go("/b"), go("/b")}));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "E:\\PROJ\r\nD:\\WORK\r\nE:\\PROJ\r\n");
    EXPECT_EQ(file(d("TOOLS/dirtree.E")), "E:\\PROJ\r\n");
    EXPECT_FALSE(harness::fileExists(d("TOOLS/dirtree.D")));
    EXPECT_EQ(file(d("TOOLS/back.vux")), "D:\\WORK\r\n");
    EXPECT_EQ(file(d("TOOLS/dovux.bat")), "E:\r\ncd E:\\PROJ\r\n");
}

TEST_F(WineWrapper, DriveAloneTakesTheShellsDirectoryOnThatDrive) {
    harness::makeDirs(e("PROJ/deep"));
    // The shell passes on where it stood on E:; the tool's own drive change honours it.
    auto r = cmd({"E:", "cd \\PROJ\\deep", "D:", "cd \\WORK", "D:\\TOOLS\\vux.exe e: /define home",
                  "echo rc=%errorlevel%", "type D:\\TOOLS\\home.vux", "call D:\\TOOLS\\dovux.bat", "cd"});
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "rc=127\r\nE:\\PROJ\\deep\r\nE:\\PROJ\\deep\r\n");
    EXPECT_EQ(file(d("TOOLS/dovux.bat")), "E:\r\n");
    EXPECT_EQ(file(d("TOOLS/back.vux")), "D:\\WORK\r\n");
}

TEST_F(WineWrapper, ParentKeyIsHandedOverAsTyped) {
    harness::makeDirs(d("WORK/deep"));
    auto r = cmd(from("D:\\WORK\\deep", {go("..")}));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "D:\\WORK\r\n");
    EXPECT_EQ(file(d("TOOLS/dovux.bat")), "cd ..\r\n");
}

TEST_F(WineWrapper, FailingRunLeavesShellWhereItWas) {
    auto r = cmd(from("D:\\WORK", {go("tools"), go("zzz")}));
    EXPECT_EQ(r.out, "D:\\TOOLS\r\nD:\\TOOLS\r\n");
    EXPECT_EQ(r.err, "vux: No match found for \"zzz\".\r\n");
    EXPECT_EQ(file(d("TOOLS/dovux.bat")), "");
    EXPECT_EQ(file(d("TOOLS/back.vux")), "D:\\WORK\r\n");
}

TEST_F(WineShell, InstalledWrapperRunsInWinesShell) {
    harness::makeDirs(d("BIN"));
    auto install = vux("/install /q", "D:\\BIN");
    EXPECT_EQ(install.code, 127);
    EXPECT_EQ(install.out, "");
    EXPECT_EQ(file(d("TOOLS/vux.cfg")), "/q \r\n");
    std::string args = " %1 %2 %3 %4 %5 %6 %7 %8 %9\r\n";
    EXPECT_EQ(file(d("BIN/vux.bat")),
              "@echo off\r\nif not \"Windows_NT\"==\"%OS%\" goto DOS\r\nD:\\TOOLS\\vux.exe" + args +
                  "goto Do\r\n:DOS\r\nD:\\TOOLS.exe" + args + ":Do\r\nD:\\TOOLS\\dovux.bat\r\n");
    // Two words through %1 %2, then the command batch in the calling shell.
    auto r = cmd({"D:", "cd \\WORK", "call D:\\BIN\\vux.bat /v tools", "cd"});
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, wineBanner + "vux: Rescanning directory structure.\r\nD:\\TOOLS\r\n");
}

// The README's steps for cmd.exe, typed at an interactive prompt one by one, from the
// folder that holds vux.exe: the last one moves the shell, and the folder on PATH
// ends up holding vux.bat alone.
TEST_F(WineShell, ReadmeInstallStepsMoveTheShell) {
    std::string folder = __FILE__;
    std::string readme;
    do {
        folder = folder.substr(0, folder.rfind('/'));
        readme = harness::readFile(folder + "/README.md");
    } while (readme.rfind("<missing", 0) == 0 && folder.find('/') != std::string::npos);
    std::size_t section = readme.find("### cmd.exe");
    ASSERT_NE(section, std::string::npos);
    std::size_t begin = readme.find("```bat\n", section);
    ASSERT_NE(begin, std::string::npos);
    begin += 7;
    std::string steps = readme.substr(begin, readme.find("```", begin) - begin);
    ASSERT_NE(steps.find("vux system32"), std::string::npos) << steps;

    std::string driveC = wine::Prefix::get().path() + "/drive_c";
    harness::removeAll(driveC + "/vux");
    harness::writeFile(root / "x/typed.txt", crlf("cd /d D:\\TOOLS\n" + steps + "cd\n"));
    auto r = wine::run({"/bin/sh", "-c", "exec \"$0\" cmd /q <typed.txt", wine::loader},
                       wine::Prefix::get().environment(), root / "x");
    std::vector<std::string> out = linesOf(r.out);
    ASSERT_FALSE(out.empty()) << r.err;
    EXPECT_EQ(out.back(), "C:\\windows\\system32") << r.out;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(harness::listNames(driveC + "/vux/bin"), std::vector<std::string>{"vux.bat"});
    for (const char* name : {"vux.exe", "vux.cfg", "dovux.bat", "dirtree.C", "back.vux"}) {
        EXPECT_TRUE(harness::fileExists(driveC + "/vux/program/" + name)) << name;
    }
    harness::removeAll(driveC + "/vux");
}

// vux.exe found through PATH by its bare name, as cmd finds it before a vux.bat
// beside it: the command batch and the data files stay beside the program.
TEST_F(WineShell, BareProgramNameKeepsFilesBesideTheProgram) {
    for (const char* typed : {"vux", "vux.exe"}) {
        SCOPED_TRACE(typed);
        harness::removeAll(d("TOOLS/dirtree.D"));
        auto r = cmd({"set PATH=%PATH%;D:\\TOOLS", "D:", "cd \\WORK", std::string(typed) + " /q tools",
                      "exit /b %errorlevel%"});
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(file(d("TOOLS/dovux.bat")), "D:\r\ncd D:\\TOOLS\r\n");
        EXPECT_EQ(file(d("TOOLS/back.vux")), "D:\\WORK\r\n");
        EXPECT_EQ(harness::listNames(d("WORK")), std::vector<std::string>{});
    }
}

// Program folders whose names cmd would split or expand: lines 3 and 8 of vux.bat
// quote them (every % doubled), and the wrapper still carries the shell; a plain
// folder is named as it stands.
TEST_F(WineShell, WrapperQuotesProgramFoldersTheShellWouldSplit) {
    const struct {
        const char* folder;
        const char* written;  // the folder as lines 3 and 8 name it
    } cases[] = {
        {"First Last", "\"D:\\First Last\\"}, {"a&b", "\"D:\\a&b\\"},   {"100%", "\"D:\\100%%\\"},
        {"x^y (z)", "\"D:\\x^y (z)\\"},       {"plain", "D:\\plain\\"},
    };
    harness::makeDirs(d("BIN"));
    for (const auto& each : cases) {
        SCOPED_TRACE(each.folder);
        std::string written = each.written;
        std::string close = written[0] == '"' ? "\"" : "";
        harness::makeDirs(d(each.folder));
        harness::copyFile(VUX_WINDOWS_BINARY, d(std::string(each.folder) + "/vux.exe"));
        auto install = cmd({"D:", "cd \\BIN", written + "vux.exe" + close + " /install /q"});
        EXPECT_EQ(install.err, "");
        std::vector<std::string> lines = linesOf(file(d("BIN/vux.bat")));
        ASSERT_EQ(lines.size(), 8u);
        EXPECT_EQ(lines[2], written + "vux.exe" + close + " %1 %2 %3 %4 %5 %6 %7 %8 %9");
        EXPECT_EQ(lines[7], written + "dovux.bat" + close);
        auto r = cmd({"D:", "cd \\WORK", "call D:\\BIN\\vux.bat tools", "cd"});
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out, "D:\\TOOLS\r\n");
    }
}

// --- Names the shell would read as commands ----------------------------------------------

TEST_F(WineWrapper, DirectoryNamesRunNoInjectedCommand) {
    struct Case {
        const char* name;
        const char* key;
        const char* cdLine;
    };
    const Case cases[] = {
        {"a&echo INJECTED", "\"a&*\"", "cd \"D:\\a&echo INJECTED\"\r\n"},
        {"p%PATH%q", "p*", "cd \"D:\\p%%PATH%%q\"\r\n"},
        {"100%", "100*", "cd \"D:\\100%%\"\r\n"},
        {"x^y", "x*", "cd \"D:\\x^y\"\r\n"},
        {"b c (d)", "b*", "cd D:\\b c (d)\r\n"},
    };
    for (const Case& c : cases) harness::makeDirs(d(c.name));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = cmd(from("D:\\WORK", {go(c.key)}));
        EXPECT_EQ(r.out, std::string("D:\\") + c.name + "\r\n");
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(file(d("TOOLS/dovux.bat")), std::string("D:\r\n") + c.cdLine);
    }
}

TEST_F(WineWrapper, AccentedNamesReachTheShell) {
    // Paths are handled in UTF-8, the shell reads the command batch in its console's
    // code page: "café" must arrive there as the same name.
    harness::makeDirs(d("caf\u00e9/sub"));
    auto r = cmd(from("D:\\WORK", {{"call D:\\TOOLS\\v.bat sub", "if exist ..\\..\\WORK echo ARRIVED"}}));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "ARRIVED\r\n");
}

// --- Names outside the ANSI code page ------------------------------------------------------

namespace {

bool isAscii(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// A command batch whose cd line is an ASCII short path to a folder ending in tail.
bool isShortPathChange(const std::string& batch, const std::string& tail) {
    std::vector<std::string> lines = linesOf(batch);
    return lines.size() == 2 && lines[0] == "D:" && lines[1].rfind("cd D:\\", 0) == 0 && isAscii(lines[1]) &&
           lines[1].find('~') != std::string::npos && lines[1].find_first_of("?*") == std::string::npos &&
           lines[1].size() >= tail.size() &&
           lines[1].compare(lines[1].size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

TEST_F(WineWrapper, NamesOutsideTheCodePageReachTheShell) {
    // The shell reads the command batch, and this test's own lines, in code page 437;
    // the ANSI code page is 1252. The tool, run again where the shell ends up, writes
    // the home file with the folder's name as the file system holds it.
    struct Case {
        const char* folder;
        const char* key;     // in code page 437
        const char* cdLine;  // exact, or empty for an ASCII short path
    };
    const Case cases[] = {
        {"\u0395\u03bb\u03bb\u03b7\u03bd\u03b9\u03ba\u03ac/proj", "proj", ""},
        {"\u65e5\u672c\u8a9e/src/zlib", "zlib", ""},
        {"\U0001F4C1 box/emo", "emo", ""},
        // Held by the console's code page but not by the ANSI one, and typed in the key.
        {"\u03a3\u0393", "\xe4\xe2", "cd D:\\\xe4\xe2\r\n"},
        {"caf\u00e9/cr\u00e8me", "cr*",
         "cd D:\\caf\x82\\cr\x8a"
         "me\r\n"},
    };
    for (const Case& c : cases) harness::makeDirs(d(c.folder));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        std::string folder = c.folder;
        std::string tail = folder.substr(folder.rfind('/') == std::string::npos ? 0 : folder.rfind('/') + 1);
        auto r = cmd(from("D:\\WORK", {{"call D:\\TOOLS\\v.bat " + std::string(c.key),
                                        "copy D:\\TOOLS\\dovux.bat X:\\change.bat >nul",
                                        "D:\\TOOLS\\vux.exe /q /define home"}}));
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(file(d("TOOLS/home.vux")), "D:\\" + hostToDrive(folder) + "\r\n");
        std::string change = file(root / "x/change.bat");
        if (*c.cdLine == '\0')
            EXPECT_TRUE(isShortPathChange(change, "\\" + tail)) << change;
        else
            EXPECT_EQ(change, std::string("D:\r\n") + c.cdLine);
    }
    // The words come from the wide command line, the texts leave in code page 437,
    // a character it lacks as "?".
    auto r = cmd({"D:", "cd \\WORK", "D:\\TOOLS\\vux.exe /ex \xe4\xe2zz", "call D:\\TOOLS\\v.bat proj",
                  "D:\\TOOLS\\vux.exe"});
    EXPECT_EQ(r.err, "vux: No match found for \"\xe4\xe2zz\".\r\n");
    EXPECT_EQ(r.out, "D:\\????????\\proj\r\n");
    // A home file of an earlier version, in the ANSI code page.
    harness::writeFile(d("TOOLS/home.vux"), "D:\\caf\xe9\r\n");
    r = cmd(from("D:\\WORK", {{"call D:\\TOOLS\\v.bat /h",
                               "if exist cr\x8a"
                               "me echo ARRIVED"}}));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "ARRIVED\r\n");
}

TEST_F(WineWrapper, SharedShortNamesNeverLeadIntoAnotherFolder) {
    // Six hundred folders named by two CJK characters each: some share a short name,
    // which leads to only one of them. Each holds a file named after its number.
    auto cjk = [](unsigned c) {
        return std::string{static_cast<char>(0xe0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3f)),
                           static_cast<char>(0x80 | (c & 0x3f))};
    };
    std::vector<std::string> names;
    for (unsigned i = 0; i < 600; ++i) {
        names.push_back(cjk(0x4e00 + i) + cjk(0x5e00 + (i * 7) % 600));
        harness::makeDirs(d("many/" + names.back()));
        harness::writeFile(d("many/" + names.back() + "/m" + std::to_string(i)), "");
    }
    // dir lists the folders with their short names, then each folder's files in the
    // same order.
    std::vector<std::string> shortNames;
    std::vector<std::string> numbers;
    int section = 0;
    for (const std::string& line : linesOf(cmd({"dir /x /s D:\\many"}).out)) {
        std::istringstream words(line);
        std::vector<std::string> w{std::istream_iterator<std::string>(words), {}};
        if (line.find("Directory of") != std::string::npos) ++section;
        if (section == 1 && w.size() >= 2 && line.find("<DIR>") != std::string::npos &&
            w[w.size() - 2].find('~') != std::string::npos)
            shortNames.push_back(w[w.size() - 2]);
        if (section > 1 && !w.empty() && w.back()[0] == 'm') numbers.push_back(w.back().substr(1));
    }
    ASSERT_EQ(shortNames.size(), names.size());
    ASSERT_EQ(numbers.size(), names.size());
    std::map<std::string, std::vector<int>> byShortName;
    for (std::size_t k = 0; k < names.size(); ++k)
        byShortName[shortNames[k]].push_back(std::stoi(numbers[k]));

    // Every folder of a shared short name as the home folder: the shell ends up there,
    // or, where its short path leads elsewhere, stays where it was.
    std::vector<int> shared;
    std::vector<std::string> lines{"D:"};
    for (const auto& entry : byShortName) {
        if (entry.second.size() < 2) continue;
        for (int i : entry.second) {
            std::string data = "h" + std::to_string(i);
            harness::makeDirs(root / ("x/" + data));
            harness::writeFile(root / ("x/" + data + "/home.vux"), "D:\\many\\" + names[i] + "\r\n");
            lines.insert(lines.end(), {"cd \\WORK", "set VUXDATADIR=X:\\" + data, "D:\\TOOLS\\vux.exe /q /h",
                                       "call D:\\TOOLS\\dovux.bat",
                                       "copy D:\\TOOLS\\dovux.bat X:\\" + data + "\\change.bat >nul",
                                       "echo @" + std::to_string(i), "dir /b"});
            shared.push_back(i);
        }
    }
    ASSERT_FALSE(shared.empty()) << "no two folders share a short name";
    std::map<int, std::string> listed;
    int current = -1;
    for (const std::string& line : linesOf(cmd(lines).out)) {
        if (!line.empty() && line[0] == '@')
            current = std::stoi(line.substr(1));
        else
            listed[current] += line;
    }
    int shortPaths = 0;
    int utf8Lines = 0;
    for (int i : shared) {
        SCOPED_TRACE(i);
        std::string change = file(root / ("x/h" + std::to_string(i) + "/change.bat"));
        if (isShortPathChange(change, "")) {
            ++shortPaths;
            EXPECT_EQ(listed[i], "m" + std::to_string(i));
        } else {
            // Wine's shell reads the UTF-8 line in code page 437 whatever chcp says, so
            // it finds no such folder and stays.
            ++utf8Lines;
            EXPECT_EQ(change, "D:\r\nchcp 65001 >nul\r\ncd D:\\many\\" + names[i] + "\r\nchcp 437 >nul\r\n");
            EXPECT_EQ(listed[i], "");
        }
    }
    EXPECT_GT(shortPaths, 0);
    EXPECT_GT(utf8Lines, 0);
}
