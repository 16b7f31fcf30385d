// vux.exe under Wine with Wine's own cmd.exe: the search carried into the shell by
// the command batch, and the installed wrapper.
#include "wine_fixture.h"

using harness::crlf;

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
