// Start-up and the end of a run without a search: the current directory, the
// emptied command batch, the data file locations.
#include <unistd.h>

#include "native_fixture.h"

using harness::crlf;

class StartUp : public NativeDrives {};

TEST_F(StartUp, NoArgumentsPrintsCurrentDirectory) {
    harness::makeDirs(c("WORK"));
    harness::writeFile(tools("dovux.bat"), "stale\r\n");
    auto r = vux({}, c("WORK"));
    EXPECT_EQ(r.code, 127);
    EXPECT_EQ(r.out, banner + "C:\\WORK\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(file(tools("dovux.bat")), "");
    EXPECT_EQ(file(tools("dovux.sh")), "");
}

TEST_F(StartUp, DefaultDriveMapIsHostRoot) {
    env.erase("VUXDRIVES");
    auto r = vux({"/q"}, c(""));
    EXPECT_EQ(r.code, 127);
    EXPECT_EQ(r.out, "");
    auto plain = vux({}, c(""));
    EXPECT_EQ(
        plain.out, banner + "C:" + [&] {
            std::string p = c("");
            for (char& ch : p)
                if (ch == '/') ch = '\\';
            return p;
        }() + "\n");
}

TEST_F(StartUp, DataDirectoryFromEnvironment) {
    harness::makeDirs(c("WORK/DATA"));
    harness::makeDirs(d("DATA"));
    struct Case {
        const char* value;
        std::string homeFile;
    } cases[] = {
        {"D:\\DATA", d("DATA/home.vux")},
        {"D:\\DATA\\", d("DATA/home.vux")},
        {"D:", d("home.vux")},              // the root, not the remembered directory
        {"", c("home.vux")},                // the root of the current drive
        {"DATA", c("WORK/DATA/home.vux")},  // relative to where the file is opened
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(std::string("VUXDATADIR=") + each.value);
        env["VUXDATADIR"] = each.value;
        auto r = vux({"/q", "/define", "home", "x"}, c("WORK"));
        EXPECT_EQ(r.code, 127) << r.err;
        EXPECT_EQ(file(each.homeFile), "C:\\WORK\\x\r\n");
        harness::removeAll(each.homeFile);
        EXPECT_EQ(file(tools("dovux.bat")), "");  // the command batch stays beside the program
    }
}

TEST_F(StartUp, DataDirectoryAsHostPath) {
    harness::makeDirs(d("DATA"));
    env["VUXDATADIR"] = d("DATA");
    auto r = vux({"/q", "/define", "home"}, d(""));
    EXPECT_EQ(r.code, 127);
    EXPECT_EQ(file(d("DATA/home.vux")), "D:\\\r\n");
    env["VUXDATADIR"] = "/nowhere-on-a-drive";
    r = vux({"/q"}, d(""));
    EXPECT_EQ(r.code, 108);
    EXPECT_EQ(r.err, "vux: VUXDATADIR names a host folder on no drive.\n");
}

TEST_F(StartUp, ProgramFolderFromArgumentZero) {
    // A bare name found through PATH names the program's real folder, never the
    // current one; argument 0 with a folder part keeps its meaning, links and all.
    harness::makeDirs(c("WORK"));
    harness::makeDirs(c("LINKS"));
    ASSERT_EQ(symlink("../TOOLS/vux", c("LINKS/vux").c_str()), 0);
    env["PATH"] = c("LINKS");
    const struct {
        std::string argument0;
        std::string folder;
    } cases[] = {{"vux", "TOOLS"}, {c("LINKS/vux"), "LINKS"}, {"../LINKS/vux", "LINKS"}};
    for (const auto& each : cases) {
        SCOPED_TRACE(each.argument0);
        auto r = harness::run({each.argument0, "/q", "/define", "home"}, env, c("WORK"));
        EXPECT_EQ(r.code, 127) << r.err;
        EXPECT_EQ(file(c(each.folder + "/dovux.bat")), "");
        EXPECT_EQ(file(c(each.folder + "/home.vux")), "C:\\WORK\r\n");
        harness::removeAll(c(each.folder + "/home.vux"));
        EXPECT_FALSE(harness::fileExists(c("WORK/dovux.bat")));
        EXPECT_FALSE(harness::fileExists(c("WORK/home.vux")));
    }
}

TEST_F(StartUp, PathsThatDoNotFit) {
    env["VUXDATADIR"] = "D:\\" + std::string(300, 'x');
    auto r = vux({}, c(""));
    EXPECT_EQ(r.code, 106);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "vux: VUXDATADIR is longer than 259 characters.\n");
    env["VUXDATADIR"] = "D:\\" + std::string(250, 'x');
    r = vux({}, c(""));
    EXPECT_EQ(r.code, 106);
    EXPECT_EQ(r.err, "vux: The path of vux.cfg is longer than 259 characters.\n");
}

TEST_F(StartUp, DriveSetUpProblems) {
    for (const char* value : {"C", "C=relative", "1=/tmp", "C=/tmp:c=/var"}) {
        SCOPED_TRACE(value);
        env["VUXDRIVES"] = value;
        auto r = vux({}, c(""));
        EXPECT_EQ(r.code, 108);
        EXPECT_EQ(
            r.err,
            "vux: VUXDRIVES is malformed: it takes entries X=/host/folder separated by \":\", each letter "
            "once.\n");
    }
    // Empty entries are passed over, as PATH passes them.
    for (const std::string& value : {"C=" + c("") + ":", ":C=" + c("") + "::D=" + d("")}) {
        env["VUXDRIVES"] = value;
        EXPECT_EQ(vux({"/q"}, c("")).code, 127) << value;
    }
    // The program on no drive.
    env["VUXDRIVES"] = "D=" + d("");
    auto r = vux({}, d(""));
    EXPECT_EQ(r.code, 108);
    EXPECT_EQ(r.err, "vux: The program's folder lies on no drive.\n");
}

TEST_F(StartUp, CurrentDirectoryThatCannotBeUsed) {
    harness::makeDirs(c("GONE"));
    harness::writeFile(tools("dovux.bat"), "stale\r\n");
    harness::writeFile(tools("dovux.sh"), "stale\n");
    // The shell stands in the folder, removes it, then becomes vux.
    auto r =
        harness::run({"/bin/sh", "-c", "rmdir \"$(pwd)\" && exec \"$0\" dos", program()}, env, c("GONE"));
    harness::expectFails(r, 107, "The current directory can't be read.");
    EXPECT_EQ(r.out, "");
    // Nothing written: the files keep what they held.
    EXPECT_EQ(file(tools("dovux.bat")), "stale\r\n");
    EXPECT_EQ(file(tools("dovux.sh")), "stale\n");
    EXPECT_FALSE(harness::fileExists(tools("dirtree.C")));
    EXPECT_FALSE(harness::fileExists(tools("back.vux")));

    // A current directory on no drive.
    harness::removeAll(tools("dovux.bat"));
    env["VUXDRIVES"] = "C=" + c("");
    r = vux({}, root.path());
    harness::expectFails(r, 107, "The current directory lies on no drive.");
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(harness::fileExists(tools("dovux.bat")));
    harness::makeDirs(c("a\\b"));
    harness::expectFails(vux({"/b"}, c("a\\b")), 107,
                         "The current directory has a name that can't be written as a path.");
}
