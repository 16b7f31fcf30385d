// The tree scan: the tree file's bytes in listing order, what is left out (paths
// too long, however reached), and that a failed scan leaves the previous file whole.
#include <sys/stat.h>
#include <unistd.h>

#include <regex>
#include <string>
#include <vector>

#include "native_fixture.h"

using Scan = NativeDrives;

TEST_F(Scan, WritesEveryFolderDepthFirstInListingOrder) {
    for (const char* dir : {"DOS", "TOOLS/BIN", "TOOLS/LIB", "WORK/a/b/c", "Hidden Stuff", "z z",
                            ".cache/inner", "WORK/.git/objects"}) {
        harness::makeDirs(c(dir));
    }
    harness::writeFile(c("WORK/file.txt"), "x");
    symlink(c("TOOLS").c_str(), c("WORK/link").c_str());
    symlink("/nonexistent", c("dangling").c_str());
    auto r = vux({"/r"}, c("WORK/a"));
    EXPECT_EQ(r.code, 127);
    EXPECT_EQ(r.out, banner + "vux: Rescanning directory structure.\n");
    std::string tree = file(tools("dirtree.C"));
    EXPECT_EQ(tree, expectedTree());
    EXPECT_NE(tree.find("C:\\TOOLS\\BIN\r\n"), std::string::npos);
    EXPECT_EQ(tree.find("cache"), std::string::npos);
    EXPECT_EQ(tree.find("link"), std::string::npos);
    EXPECT_EQ(file(tools("dovux.bat")), "");
    // Nothing but the tree file and its companion is left in the data directory.
    for (const std::string& name : harness::listNames(c("TOOLS"))) {
        EXPECT_TRUE(name == "vux" || name == "dirtree.C" || name == "dirtree.C.stamps" ||
                    name == "dovux.bat" || name == "dovux.sh" || name == "BIN" || name == "LIB")
            << name;
    }
}

// skip.vux: the folders it names keep their lines and lose what lies below them.
TEST_F(Scan, SkipFileLeavesOutWhatLiesBelowTheFoldersItNames) {
    for (const char* dir : {"app/node_modules/lib/src", "app/src", "Build-x86/obj", "build/out", "tmp/cache/x",
                            "other/tmp/y", "keep/Node_Modules/z"}) {
        harness::makeDirs(c(dir));
    }
    auto without = [&](const std::vector<std::string>& heads) {
        std::string out, all = expectedTree(), line;
        for (std::size_t at = 0; at < all.size(); at += line.size()) {
            line = all.substr(at, all.find('\n', at) + 1 - at);
            bool below = false;
            for (const std::string& head : heads) below = below || line.rfind(head, 0) == 0;
            if (!below) out += line;
        }
        return out;
    };
    struct Row {
        std::string skipFile;
        int code;
        std::string tree;  // or the error
    };
    const std::string overlong(260, 'n');
    for (const Row& row : std::vector<Row>{
             {"# left out\r\n\r\n  node_modules \r\nbuild*\nC:/tmp/\r\n", 127,
              without({"C:\\app\\node_modules\\", "C:\\keep\\Node_Modules\\", "C:\\Build-x86\\",
                       "C:\\build\\", "C:\\tmp\\"})},
             {"nothing_here\n", 127, expectedTree()},
             {"a\n#\n" + overlong + "\n", 109,
              "vux: Line 3 of \"C:\\TOOLS\\skip.vux\" is longer than 259 characters.\n"},
             // A host path names its folder on the drive that holds it.
             {c("app/node_modules") + "/\n" + c("tmp") + "\n", 127,
              without({"C:\\app\\node_modules\\", "C:\\tmp\\"})},
             {"# x\nbuild*\nwork/webapp\n", 109,
              "vux: Line 3 of \"C:\\TOOLS\\skip.vux\" is not a folder name, a name*, or a full path.\n"},
             {"*modules\n", 109,
              "vux: Line 1 of \"C:\\TOOLS\\skip.vux\" is not a folder name, a name*, or a full path.\n"},
             {"C:\\app\\*\n", 109,
              "vux: Line 1 of \"C:\\TOOLS\\skip.vux\" is not a folder name, a name*, or a full path.\n"},
             {"\n" + root / "elsewhere" + "\n", 109,
              "vux: Line 2 of \"C:\\TOOLS\\skip.vux\" names a host folder on no drive.\n"},
         }) {
        SCOPED_TRACE(row.skipFile);
        harness::writeFile(tools("skip.vux"), row.skipFile);
        harness::writeFile(tools("dirtree.C"), "old\r\n");
        auto r = vux({"/q", "/r"}, c(""));
        EXPECT_EQ(r.code, row.code);
        EXPECT_EQ(row.code == 109 ? r.err : file(tools("dirtree.C")), row.tree);
        if (row.code == 109) {
            EXPECT_EQ(file(tools("dirtree.C")), "old\r\n");
        }
    }
}

TEST_F(Scan, DriveWithoutFoldersGivesEmptyFile) {
    env["VUXDATADIR"] = c("TOOLS");
    auto r = vux({"/q", "/r", "d:*"}, c(""));
    EXPECT_EQ(r.code, 127);
    EXPECT_EQ(file(tools("dirtree.D")), "");
}

TEST_F(Scan, OtherDriveScannedWhileThisOneIsCurrent) {
    harness::makeDirs(d("DATA/x"));
    harness::makeDirs(c("WORK"));
    harness::writeFile(tools("dirtree.C"), "C:\\OLD\r\n");
    auto r = vux({"/q", "/r", "d:*"}, c("WORK"));
    EXPECT_EQ(r.code, 127);
    EXPECT_EQ(file(tools("dirtree.D")), "D:\\DATA\r\nD:\\DATA\\x\r\n");
    EXPECT_EQ(file(tools("dirtree.C")), "C:\\OLD\r\n");  // other drives untouched
    EXPECT_EQ(file(tools("dovux.bat")), "");
}

TEST_F(Scan, MappedDriveInsideKeepsItsLineOnly) {
    // Drive D's root lies inside drive C: it is listed, never entered.
    harness::makeDirs(c("mnt/d/inner"));
    env["VUXDRIVES"] = "C=" + c("") + ":D=" + c("mnt/d");
    auto r = vux({"/q", "/r"}, c(""));
    EXPECT_EQ(r.code, 127);
    std::string tree = file(tools("dirtree.C"));
    EXPECT_NE(tree.find("C:\\mnt\\d\r\n"), std::string::npos);
    EXPECT_EQ(tree.find("inner"), std::string::npos);
}

TEST_F(Scan, PathsPastTheBufferAreLeftOutWithTheirSubtree) {
    std::string name(120, 'n');  // C:\ + 120 + \ + 120 = 244; one more level is past 259
    harness::makeDirs(c(name + "/" + name + "/" + name + "/deeper"));
    harness::makeDirs(c(name + "/" + name + "/short"));
    auto r = vux({"/q", "/r"}, c(""));
    EXPECT_EQ(r.code, 127);
    std::string prefix = "C:\\" + name + "\\" + name;
    std::string tree = file(tools("dirtree.C"));
    EXPECT_NE(tree.find(prefix + "\\short\r\n"), std::string::npos);
    EXPECT_EQ(tree.find("deeper"), std::string::npos);
    EXPECT_EQ(tree.find(prefix + "\\" + name), std::string::npos);

    // A tree three hundred levels deep.
    std::string host = c("");
    std::string expected;
    std::string drive = "C:";
    for (int level = 1; level <= 300; ++level) {
        host += "/d";
        ASSERT_EQ(mkdir(host.c_str(), 0777), 0) << level;
        drive += "\\d";
        if (drive.size() <= 259) expected += drive + "\r\n";  // 128 levels fit
    }
    r = vux({"/q", "/r"}, c(""));
    EXPECT_EQ(r.code, 127);
    EXPECT_EQ(r.err, "");
    tree = file(tools("dirtree.C"));
    EXPECT_EQ(tree, expectedTree());
    std::string chain;  // the lines of the "d" folders, in the order written
    for (std::size_t at = tree.find("C:\\d"); at != std::string::npos; at = tree.find("C:\\d", at + 1)) {
        chain += tree.substr(at, tree.find("\r\n", at) + 2 - at);
    }
    EXPECT_EQ(chain, expected);

    // A current directory whose drive path doesn't fit can't be written as a path.
    std::string deep = c("");
    for (int level = 1; level <= 129; ++level) deep += "/d";
    harness::expectFails(vux({"/q", "d"}, deep), 107,
                         "The current directory's path is longer than 259 characters.");

    // From the deepest folder that fits, the next "d" down is out of the tree: the
    // search wraps around to the first.
    std::string fits = deep.substr(0, deep.size() - 2);
    r = vux({"/q", "/n", "d"}, fits);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(file(tools("dovux.bat")), "C:\r\ncd C:\\d\r\n");
    expectNoTemporaryTree(c("TOOLS"));
}

TEST_F(Scan, TreeFileThatCannotBeCreatedKeepsOldOne) {
    // CI runs as root, where permission bits stop nothing: a folder stands where
    // the tree file must go.
    harness::makeDirs(tools("dirtree.C"));
    harness::writeFile(tools("dirtree.C/keep"), "old");
    auto r = vux({"/r"}, c(""));
    EXPECT_EQ(r.code, 21);
    EXPECT_EQ(r.out, banner + "vux: Rescanning directory structure.\n");
    EXPECT_EQ(r.err, "vux: Can't create \"C:\\TOOLS\\dirtree.C\".\n");
    EXPECT_EQ(file(tools("dirtree.C/keep")), "old");
    EXPECT_EQ(harness::listNames(c("TOOLS")).size(), 4u);  // vux, dovux.bat, dovux.sh, dirtree.C

    // The scan a search starts fails the same way, before any change.
    harness::makeDirs(c("WORK"));
    r = vux({"/q", "work"}, c(""));
    EXPECT_EQ(r.code, 21);
    EXPECT_EQ(r.err, "vux: Can't create \"C:\\TOOLS\\dirtree.C\".\n");
    EXPECT_TRUE(harness::isDirectory(tools("dirtree.C")));
    EXPECT_EQ(file(tools("dovux.bat")), "");
    expectNoTemporaryTree(c("TOOLS"));
    r = vux({"dos"}, c("WORK"));
    EXPECT_EQ(r.code, 21);
    EXPECT_EQ(r.err, "vux: Can't create \"C:\\TOOLS\\dirtree.C\".\n");
}

TEST_F(Scan, RescanReplacesWholeFile) {
    harness::makeDirs(c("A"));
    harness::writeFile(tools("dirtree.C"), "C:\\GONE\r\nC:\\GONE\\TOO\r\n");
    EXPECT_EQ(vux({"/q", "/r"}, c("")).code, 127);
    EXPECT_EQ(file(tools("dirtree.C")), expectedTree());
}

// On a terminal a long scan counts its folders on its line and leaves the line as
// the text alone. The scan is slowed down (each file system call delayed) so that
// it outlasts the half second after which the count shows.
TEST_F(Scan, CountsFoldersOnATerminalAndLeavesTheLineClean) {
    if (!harness::haveProgram("script") || !harness::haveProgram("strace")) {
        GTEST_SKIP() << "needs script and strace";
    }
    for (int i = 0; i < 300; ++i)
        harness::makeDirs(c("a" + std::to_string(i % 7) + "/b" + std::to_string(i)));
    std::string command =
        "strace -f -o /dev/null -e inject=%file:delay_enter=3000 '" + program() + "' /r; echo \"[$?]\"";
    auto r = harness::run({"script", "-q", "-e", "-c", command, "/dev/null"}, env, c(""));
    if (r.out.find("[127]") == std::string::npos)
        GTEST_SKIP() << "can't run under strace in a terminal: " << r.out;
    EXPECT_EQ(file(tools("dirtree.C")), expectedTree());
    const std::string text = "vux: Rescanning directory structure\\.";  // as a pattern
    std::string shown = r.out.substr(0, r.out.find("[127]"));
    ASSERT_EQ(shown.compare(0, banner.size() + 2, harness::crlf(banner)), 0) << shown;
    shown.erase(0, banner.size() + 2);
    EXPECT_TRUE(std::regex_match(
        shown, std::regex(text + "(\r" + text + " [0-9]+)+\r" + text + " +\r" + text + "\r\n")))
        << shown;
}
