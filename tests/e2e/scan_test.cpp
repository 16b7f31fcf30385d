// The tree scan: the tree file's bytes in listing order, what is left out, and
// that a failed scan leaves the previous file whole.
#include <unistd.h>

#include <string>

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
    // Nothing but the tree file is left in the data directory.
    for (const std::string& name : harness::listNames(c("TOOLS"))) {
        EXPECT_TRUE(name == "vux" || name == "dirtree.C" || name == "dovux.bat" || name == "dovux.sh" ||
                    name == "BIN" || name == "LIB")
            << name;
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

    // A data directory that doesn't exist: the same message and code.
    env["VUXDATADIR"] = "C:\\MISSING";
    r = vux({"/q", "/r"}, c(""));
    EXPECT_EQ(r.code, 21);
    EXPECT_EQ(r.err, "vux: Can't create \"C:\\MISSING\\dirtree.C\".\n");
}

TEST_F(Scan, RescanReplacesWholeFile) {
    harness::makeDirs(c("A"));
    harness::writeFile(tools("dirtree.C"), "C:\\GONE\r\nC:\\GONE\\TOO\r\n");
    EXPECT_EQ(vux({"/q", "/r"}, c("")).code, 127);
    EXPECT_EQ(file(tools("dirtree.C")), expectedTree());
}
