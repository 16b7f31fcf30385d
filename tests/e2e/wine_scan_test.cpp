// vux.exe under Wine: the scan over Wine's own listings, names outside the ANSI
// code page included.
#include "wine_fixture.h"

using harness::crlf;

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

TEST_F(WineScan, SkipListIsHonoured) {
    for (const char* dir : {"proj/node_modules/lib", "proj/Build-x/obj", "proj/src/x"})
        harness::makeDirs(d(dir));
    harness::writeFile(d("TOOLS/skip.vux"), "# packages\r\nNODE_MODULES\r\nbuild*\r\nd:/proj/SRC\r\n");
    auto r = vux("/q /r");
    EXPECT_EQ(r.code, 127);
    EXPECT_EQ(r.err, "");
    std::string tree = file(d("TOOLS/dirtree.D"));
    for (const char* kept : {"D:\\proj\\node_modules\r\n", "D:\\proj\\Build-x\r\n", "D:\\proj\\src\r\n"})
        EXPECT_NE(tree.find(kept), std::string::npos) << tree;
    for (const char* gone : {"lib", "obj", "\\x"}) EXPECT_EQ(tree.find(gone), std::string::npos) << tree;
}
