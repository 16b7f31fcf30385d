// Directory changes: the command batch, dovux.sh, the back and home files for
// every way of reaching a directory, and what each failure leaves behind.
#include <unistd.h>

#include <string>

#include "native_fixture.h"

namespace {

class Change : public NativeDrives {
protected:
    Change() {
        for (const char* dir : {"WORK", "A", "B", "100%", "a&del x", "a&calc", "sp ace"})
            harness::makeDirs(c(dir));
        harness::makeDirs(d("DATA/sub"));
    }
    std::string batch() { return file(tools("dovux.bat")); }
    std::string shell() { return file(tools("dovux.sh")); }
    std::string backFile() { return file(tools("back.vux")); }
    void expectNoChange() {
        EXPECT_EQ(batch(), "");
        EXPECT_EQ(shell(), "");
    }
};

}  // namespace

TEST_F(Change, BackWithoutBackFile) {
    auto r = vux({"/b"}, c("WORK"));
    EXPECT_EQ(r.code, 26);
    EXPECT_EQ(r.err, "vux: Couldn't open \"C:\\TOOLS\\back.vux\".\n");
    expectNoChange();
}

TEST_F(Change, BackWithEmptyFileDoesNothing) {
    harness::writeFile(tools("back.vux"), "");
    auto r = vux({"/q", "/b"}, c("WORK"));
    EXPECT_EQ(r.code, 127);
    EXPECT_EQ(r.err, "");
    expectNoChange();
    EXPECT_EQ(backFile(), "");
}

TEST_F(Change, RepeatedBackAlternates) {
    harness::writeFile(tools("back.vux"), "C:\\A\r\n");
    auto r = vux({"/q", "/b"}, c("B"));
    EXPECT_EQ(r.code, 127);
    EXPECT_EQ(batch(), "C:\r\ncd C:\\A\r\n");
    EXPECT_EQ(shell(), "cd -- '" + c("A") + "'\n");
    EXPECT_EQ(backFile(), "C:\\B\r\n");
    r = vux({"/q", "/b"}, c("A"));
    EXPECT_EQ(batch(), "C:\r\ncd C:\\B\r\n");
    EXPECT_EQ(backFile(), "C:\\A\r\n");
}

TEST_F(Change, DisableBacklogKeepsBackFile) {
    harness::writeFile(tools("back.vux"), "C:\\A\r\n");
    auto r = vux({"/q", "/b", "/disable", "backlog"}, c("B"));
    EXPECT_EQ(r.code, 127);
    EXPECT_EQ(batch(), "C:\r\ncd C:\\A\r\n");
    EXPECT_EQ(backFile(), "C:\\A\r\n");
    // Alone it only sets the flag.
    r = vux({"/q", "/disable", "backlog"}, c("B"));
    EXPECT_EQ(r.code, 127);
    EXPECT_EQ(backFile(), "C:\\A\r\n");
    EXPECT_FALSE(harness::fileExists(tools("home.vux")));
}

TEST_F(Change, DefineHomeThenHomeInOneRun) {
    auto r = vux({"/q", "/h", "/define", "home", "..\\A"}, c("WORK"));
    EXPECT_EQ(r.code, 127);
    EXPECT_EQ(file(tools("home.vux")), "C:\\A\r\n");
    EXPECT_EQ(batch(), "C:\r\ncd C:\\A\r\n");
    EXPECT_EQ(backFile(), "C:\\WORK\r\n");
}

TEST_F(Change, DefineHomeResolvesAfterBack) {
    harness::writeFile(tools("back.vux"), "D:\\DATA\r\n");
    auto r = vux({"/q", "/define", "home", "sub", "/b"}, c("WORK"));
    EXPECT_EQ(r.code, 127);
    EXPECT_EQ(file(tools("home.vux")), "D:\\DATA\\sub\r\n");
    EXPECT_EQ(batch(), "D:\r\ncd D:\\DATA\r\n");
    EXPECT_EQ(shell(), "cd -- '" + d("DATA") + "'\n");
}

TEST_F(Change, DefineHomeWithoutPathTakesCurrentDirectory) {
    auto r = vux({"/q", "/define", "home"}, c("WORK"));
    EXPECT_EQ(r.code, 127);
    EXPECT_EQ(file(tools("home.vux")), "C:\\WORK\r\n");
    expectNoChange();
    r = vux({"/q", "/define", "home", "..\\..\\.."}, c("WORK"));
    EXPECT_EQ(r.code, 28);
    EXPECT_EQ(r.err, "vux: Illegal argument for option \"/home\".\n");
}

// A POSIX shell hands $PWD or ~ over as a host path: the folder it names, on the
// drive that holds it, whichever drive is current; one on no drive is refused.
TEST_F(Change, DefineHomeTakesHostPaths) {
    struct Row {
        std::string path, from;
        int code;
        std::string home;  // or the error line
    };
    for (const Row& row : std::vector<Row>{
             {d("DATA/sub"), c("WORK"), 127, "D:\\DATA\\sub"},
             {c("A") + "/", d("DATA"), 127, "C:\\A"},
             {d(""), d("DATA"), 127, "D:\\"},
             {root / "elsewhere", c("WORK"), 28, "vux: Illegal argument for option \"/home\".\n"},
             {"/", c("WORK"), 28, "vux: Illegal argument for option \"/home\".\n"},
         }) {
        SCOPED_TRACE(row.path);
        harness::removeAll(tools("home.vux"));
        auto r = vux({"/q", "/define", "home", row.path}, row.from);
        EXPECT_EQ(r.code, row.code);
        if (row.code != 127) {
            EXPECT_EQ(r.err, row.home);
            EXPECT_FALSE(harness::fileExists(tools("home.vux")));
            continue;
        }
        EXPECT_EQ(file(tools("home.vux")), row.home + "\r\n");
        r = vux({"/q", "/h"}, c("B"));
        EXPECT_EQ(r.code, 127) << r.err;
    }
}

TEST_F(Change, HomeEdgeCases) {
    auto r = vux({"/q", "/h"}, c("WORK"));
    EXPECT_EQ(r.code, 25);
    EXPECT_EQ(r.err, "vux: Couldn't open \"C:\\TOOLS\\home.vux\".\n");

    // A first line that is only a line end: no change tried, back file written,
    // the command batch left with no lines.
    harness::writeFile(tools("home.vux"), "\r\nC:\\A\r\n");
    r = vux({"/q", "/h"}, c("WORK"));
    EXPECT_EQ(r.code, 127);
    expectNoChange();
    EXPECT_EQ(backFile(), "C:\\WORK\r\n");

    // A home since removed: 9, nothing written.
    harness::writeFile(tools("back.vux"), "C:\\B\r\n");
    harness::writeFile(tools("home.vux"), "C:\\GONE\r\n");
    r = vux({"/q", "/h"}, c("WORK"));
    EXPECT_EQ(r.code, 9);
    EXPECT_EQ(r.err, "vux: Unable to change to \"C:\\GONE\".\n");
    expectNoChange();
    EXPECT_EQ(backFile(), "C:\\B\r\n");

    // The drive letter is written as the file spells it.
    harness::writeFile(tools("home.vux"), "c:\\A\n");
    r = vux({"/q", "/h"}, c("WORK"));
    EXPECT_EQ(r.code, 127);
    EXPECT_EQ(batch(), "c:\r\ncd c:\\A\r\n");

    // Only the first 259 characters of a longer line are used.
    harness::writeFile(tools("home.vux"), "C:\\" + std::string(300, 'x') + "\r\n");
    r = vux({"/q", "/h"}, c("WORK"));
    EXPECT_EQ(r.code, 9);
    EXPECT_EQ(r.err, "vux: Unable to change to \"C:\\" + std::string(256, 'x') + "\".\n");
}

TEST_F(Change, DriveAloneWritesDriveLineAndBackFile) {
    auto r = vux({"/q", "/disable", "backlog", "d:"}, c("WORK"));
    EXPECT_EQ(r.code, 127);
    EXPECT_EQ(batch(), "D:\r\n");
    EXPECT_EQ(shell(), "cd -- '" + d("") + "'\n");
    EXPECT_EQ(backFile(), "C:\\WORK\r\n");

    r = vux({"/q", "d:*"}, c("WORK"));
    EXPECT_EQ(r.code, 127);
    expectNoChange();

    r = vux({"/q", "q:x"}, c("WORK"));
    EXPECT_EQ(r.code, 11);
    EXPECT_EQ(r.err, "vux: Attempt to change to drive Q: failed.\n");
}

TEST_F(Change, KeysHandedOverAsTyped) {
    auto r = vux({"/q", ".."}, c("WORK"));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(batch(), "cd ..\r\n");
    EXPECT_EQ(shell(), "cd -- '" + c("") + "'\n");
    EXPECT_TRUE(harness::fileExists(tools("dirtree.C")));  // built first

    r = vux({"/q", "d:\\DATA"}, c("WORK"));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(batch(), "D:\r\ncd \\DATA\r\n");
    EXPECT_TRUE(harness::fileExists(tools("dirtree.D")));

    r = vux({"/q", "\\nowhere"}, c("WORK"));
    EXPECT_EQ(r.code, 9);
    EXPECT_EQ(r.err, "vux: Unable to change to \"\\nowhere\".\n");
    expectNoChange();
}

TEST_F(Change, CdLineCannotRunACommand) {
    auto r = vux({"/q", "\\a&calc"}, c("WORK"));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(batch(), "cd \"\\a&calc\"\r\n");
    r = vux({"/q", "\\100%"}, c("WORK"));
    EXPECT_EQ(batch(), "cd \"\\100%%\"\r\n");
    // Blanks alone are written as they stand; a line from a file may hold them.
    harness::writeFile(tools("back.vux"), "C:\\a&del x\r\n");
    r = vux({"/q", "/b"}, c("WORK"));
    EXPECT_EQ(batch(), "C:\r\ncd \"C:\\a&del x\"\r\n");
    harness::writeFile(tools("back.vux"), "C:\\sp ace\r\n");
    r = vux({"/q", "/b"}, c("WORK"));
    EXPECT_EQ(batch(), "C:\r\ncd C:\\sp ace\r\n");
}

TEST_F(Change, BackFileThatCannotBeWritten) {
    harness::makeDirs(tools("back.vux"));
    auto r = vux({"/q", "\\A"}, c("WORK"));
    EXPECT_EQ(r.code, 27);
    EXPECT_EQ(r.err, "vux: Couldn't create \"C:\\TOOLS\\back.vux\".\n");
    expectNoChange();
    // A change the search found stops there too, before the command batch.
    harness::writeFile(tools("dirtree.C"), "C:\\A\r\nC:\\TOOLS\r\nC:\\WORK\r\n");
    r = vux({"/q", "a"}, c("WORK"));
    EXPECT_EQ(r.code, 27);
    EXPECT_EQ(r.err, "vux: Couldn't create \"C:\\TOOLS\\back.vux\".\n");
    EXPECT_EQ(batch(), "");
    EXPECT_EQ(shell(), "");
}

TEST_F(Change, CommandBatchThatCannotBeEmptied) {
    harness::makeDirs(tools("dovux.bat"));
    auto r = vux({"/q"}, c(""));
    EXPECT_EQ(r.code, 5);
    EXPECT_EQ(r.err, "vux: Unable to open C:\\TOOLS\\dovux.bat.\n");
    harness::writeFile(tools("vux.cfg"), "/x\r\n");
    r = vux({"/m"}, c("WORK"));
    EXPECT_EQ(r.code, 5);
    EXPECT_EQ(r.err, "vux: Unable to open C:\\TOOLS\\dovux.bat.\n");  // before the file's /x is read
    harness::removeAll(tools("dovux.bat"));
    harness::makeDirs(tools("dovux.sh"));
    r = vux({}, c("WORK"));
    EXPECT_EQ(r.code, 5);
    EXPECT_EQ(r.err, "vux: Unable to open C:\\TOOLS\\dovux.sh.\n");
    harness::removeAll(tools("vux.cfg"));
    r = vux({"/q"}, c(""));
    EXPECT_EQ(r.code, 5);
    EXPECT_EQ(r.err, "vux: Unable to open C:\\TOOLS\\dovux.sh.\n");
}

// A shell's own change file: VUXSESSION of 1 to 10 digits names it, any other value
// is ignored; it fails the way dovux.sh does, and dovux.bat is written either way.
TEST_F(Change, SessionNamesItsOwnShellChange) {
    const std::pair<std::string, std::string> cases[] = {
        {"4242", "dovux.4242.sh"},   {"1234567890", "dovux.1234567890.sh"},
        {"0", "dovux.0.sh"},         {"", "dovux.sh"},
        {"12345678901", "dovux.sh"}, {"12a", "dovux.sh"},
        {"-1", "dovux.sh"},          {" 7", "dovux.sh"},
        {"../7", "dovux.sh"},
    };
    for (const auto& [session, name] : cases) {
        SCOPED_TRACE("VUXSESSION=" + session);
        env["VUXSESSION"] = session;
        for (const std::string& old : harness::listNames(c("TOOLS"))) {
            if (old.rfind("dovux.", 0) == 0) harness::removeAll(tools(old));
        }
        auto r = vux({"/q", "\\A"}, c("WORK"));
        EXPECT_EQ(r.code, 0);
        EXPECT_EQ(file(tools(name)), "cd -- '" + c("A") + "'\n");
        EXPECT_EQ(batch(), "cd \\A\r\n");
        EXPECT_EQ(harness::fileExists(tools("dovux.sh")), name == "dovux.sh");
        EXPECT_FALSE(harness::fileExists(tools("dovux." + session + ".bat")));  // cmd's alone
    }
    for (const std::string& name : harness::listNames(c("TOOLS"))) {
        EXPECT_EQ(name.find(".new"), std::string::npos) << name;  // written whole, then renamed
    }
    // Only a change makes it: a stale one goes at start-up, and a run that changes
    // nothing leaves none behind.
    env["VUXSESSION"] = "77";
    for (const std::vector<std::string>& args : {std::vector<std::string>{"nosuchfolder"}, {"/q"}, {}}) {
        harness::writeFile(tools("dovux.77.sh"), "cd -- '/'\n");
        vux(args, c("WORK"));
        EXPECT_FALSE(harness::fileExists(tools("dovux.77.sh"))) << args.size();
    }
    harness::makeDirs(tools("dovux.77.sh"));
    auto r = vux({"\\A"}, c("WORK"));
    EXPECT_EQ(r.code, 5);
    EXPECT_EQ(r.err, "vux: Unable to open C:\\TOOLS\\dovux.77.sh.\n");
    // The csh wrapper's own form, since csh expands ! even inside single quotes.
    harness::makeDirs(c("it's!x"));
    env["VUXSHELL"] = "csh";
    EXPECT_EQ(vux({"/q", "\\it's!x"}, c("WORK")).code, 0);
    EXPECT_EQ(file(tools("dovux.77.csh")), "cd '" + c("it") + "'\\''s'\\!'x'\n");
}

// A root, the program or the data folder named through symbolic links: the drive is
// the physical folder, which is where the current directory comes back from.
TEST_F(Change, RootsThroughSymbolicLinksAreTheirPhysicalFolders) {
    ASSERT_EQ(symlink(c("").c_str(), (root / "link").c_str()), 0);
    ASSERT_EQ(symlink((root / "link").c_str(), (root / "chain").c_str()), 0);
    harness::makeDirs(c("DATA"));
    struct Case {
        std::string drives, program, dataFolder;
    };
    const Case cases[] = {
        {"C=" + root / "link", program(), ""},
        {"C=" + root / "chain/" + ":D=" + d(""), root / "link/TOOLS/vux", ""},
        {"C=" + c(""), root / "chain/TOOLS/vux", root / "link/DATA"},
        {"C=" + root / "link", root / "link/TOOLS/vux", root / "chain/DATA"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.drives + " " + test.program + " " + test.dataFolder);
        env["VUXDRIVES"] = test.drives;
        env.erase("VUXDATADIR");
        if (!test.dataFolder.empty()) env["VUXDATADIR"] = test.dataFolder;
        harness::removeAll(tools("dirtree.C"));
        harness::removeAll(c("DATA/dirtree.C"));
        auto r = harness::run({test.program, "/q", "A"}, env, c("WORK"));
        EXPECT_EQ(r.code, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(shell(), "cd -- '" + c("A") + "'\n");
        EXPECT_TRUE(harness::fileExists(test.dataFolder.empty() ? tools("dirtree.C") : c("DATA/dirtree.C")));
    }
}
