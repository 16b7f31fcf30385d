// The search end to end: cycling among equal names, drive prefixes, the switches,
// the single automatic rescan with its three ways of failing, and tree files whose
// lines can't name a folder.
#include <unistd.h>

#include <string>

#include "native_fixture.h"

namespace {

class Search : public NativeDrives {
protected:
    Search() {
        for (const char* dir : {"WORK", "a/SRC", "b/SRC", "c/SRC", "DOS/BIN", "MSDOS/BIN", "WORK/DOSSTUFF",
                                "dosx", "DOSSIER"}) {
            harness::makeDirs(c(dir));
        }
        harness::makeDirs(d("DATA/NAME"));
    }
    std::string batch() { return file(tools("dovux.bat")); }
    // Where the shell would land: the folder named in dovux.sh.
    std::string landed() {
        std::string text = file(tools("dovux.sh"));
        if (text.size() < 10) return "";
        return text.substr(7, text.size() - 9);
    }
    // A tree file written by hand, lines in the order given.
    void tree(const std::vector<std::string>& lines, const std::string& name = "dirtree.C") {
        std::string text;
        for (const auto& line : lines) text += line + "\r\n";
        harness::writeFile(tools(name), text);
    }
};

const std::string rescanLine = "vux: Rescanning directory structure.\n";

}  // namespace

TEST_F(Search, FirstRunScansThenFinds) {
    auto r = vux({"dos"}, c("WORK"));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, banner + rescanLine);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(batch(), "C:\r\ncd C:\\DOS\r\n");
    EXPECT_EQ(landed(), c("DOS"));
    EXPECT_EQ(file(tools("back.vux")), "C:\\WORK\r\n");
}

TEST_F(Search, SameKeyCyclesAndWrapsAround) {
    tree({"C:\\a", "C:\\a\\SRC", "C:\\b", "C:\\b\\SRC", "C:\\c", "C:\\c\\SRC", "C:\\WORK"});
    std::string at = c("WORK");
    std::vector<std::string> visited;
    for (int i = 0; i < 4; ++i) {
        auto r = vux({"/q", "src"}, at);
        ASSERT_EQ(r.code, 0) << r.err;
        at = landed();
        visited.push_back(batch());
    }
    EXPECT_EQ(visited[0], "C:\r\ncd C:\\a\\SRC\r\n");
    EXPECT_EQ(visited[1], "C:\r\ncd C:\\b\\SRC\r\n");
    EXPECT_EQ(visited[2], "C:\r\ncd C:\\c\\SRC\r\n");
    EXPECT_EQ(visited[3], "C:\r\ncd C:\\a\\SRC\r\n");
}

TEST_F(Search, FromDriveRootFirstExactMatchWins) {
    tree({"C:\\WORK\\DOSSTUFF", "C:\\DOS", "C:\\MSDOS", "C:\\WORK"});
    auto r = vux({"/q", "dos"}, c(""));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(batch(), "C:\r\ncd C:\\DOS\r\n");
}

TEST_F(Search, KeysWithSeparators) {
    tree({"C:\\DOS", "C:\\DOS\\BIN", "C:\\MSDOS", "C:\\MSDOS\\BIN", "C:\\WORK"});
    EXPECT_EQ(vux({"/q", "dos\\bin"}, c("")).code, 0);
    EXPECT_EQ(batch(), "C:\r\ncd C:\\DOS\\BIN\r\n");
    // os\bin lines up with the end of both; the first after the current one wins.
    EXPECT_EQ(vux({"/q", "os\\bin"}, c("DOS/BIN")).code, 0);
    EXPECT_EQ(batch(), "C:\r\ncd C:\\MSDOS\\BIN\r\n");
    EXPECT_EQ(vux({"/q", "os/bin"}, c("WORK")).code, 3);  // "/" is no separator in a key
}

TEST_F(Search, WildcardAndStarAlone) {
    tree({"C:\\DOS", "C:\\WORK", "C:\\WORK\\DOSSTUFF"});
    EXPECT_EQ(vux({"/q", "dos*"}, c("DOS")).code, 0);
    EXPECT_EQ(batch(), "C:\r\ncd C:\\WORK\\DOSSTUFF\r\n");
    auto r = vux({"/q", "*"}, c("DOS"));
    EXPECT_EQ(r.code, 127);
    EXPECT_EQ(batch(), "");
}

TEST_F(Search, DrivePrefixSearchesThatDrive) {
    auto r = vux({"/q", "d:name"}, c("WORK"));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(batch(), "D:\r\ncd D:\\DATA\\NAME\r\n");
    EXPECT_EQ(landed(), d("DATA/NAME"));
    EXPECT_EQ(file(tools("dirtree.D")), "D:\\DATA\r\nD:\\DATA\\NAME\r\n");
    EXPECT_FALSE(harness::fileExists(tools("dirtree.C")));
    r = vux({"/q", "d:zzz*"}, c("WORK"));
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(r.err, "vux: No match found for \"zzz\".\n");
}

TEST_F(Search, CaseSensitiveAndExactMatch) {
    tree({"C:\\DOS", "C:\\dosx", "C:\\WORK"});
    EXPECT_EQ(vux({"/q", "/n", "Dos"}, c("WORK")).code, 0);
    EXPECT_EQ(batch(), "C:\r\ncd C:\\DOS\r\n");
    // Case-sensitive: only a partial match of "D" is left, allowed with /n.
    EXPECT_EQ(vux({"/q", "/n", "/c", "dosx"}, c("WORK")).code, 0);
    EXPECT_EQ(batch(), "C:\r\ncd C:\\dosx\r\n");
    auto r = vux({"/q", "/n", "/ex", "dosy"}, c("WORK"));
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(r.err, "vux: No match found for \"dosy\".\n");
    EXPECT_EQ(vux({"/q", "/n", "/ex", "do"}, c("WORK")).code, 0);
    EXPECT_EQ(batch(), "C:\r\ncd C:\\DOS\r\n");
}

TEST_F(Search, PartialMatchOnlyAfterScan) {
    tree({"C:\\DOS", "C:\\WORK"});
    auto r = vux({"dosz"}, c("WORK"));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, banner + rescanLine);
    // After the scan DOSSTUFF (below WORK) ties with DOS and comes after WORK.
    EXPECT_EQ(batch(), "C:\r\ncd C:\\WORK\\DOSSTUFF\r\n");
    // With /n: partial in the first pass, no scan.
    tree({"C:\\DOSSIER", "C:\\WORK"});
    r = vux({"/n", "dosx"}, c("WORK"));
    EXPECT_EQ(r.out, banner);
    EXPECT_EQ(batch(), "C:\r\ncd C:\\DOSSIER\r\n");
}

TEST_F(Search, NoMatchAfterExactlyOneScan) {
    auto r = vux({"zzz"}, c("WORK"));
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(r.out, banner + rescanLine);
    EXPECT_EQ(r.err, "vux: No match found for \"zzz\".\n");
    EXPECT_EQ(batch(), "");
    r = vux({"/r", "zzz"}, c("WORK"));
    EXPECT_EQ(r.out, banner + rescanLine);
    EXPECT_EQ(r.code, 3);
    r = vux({"/n", "zzz"}, c("WORK"));
    EXPECT_EQ(r.out, banner);
    EXPECT_EQ(r.code, 3);
}

TEST_F(Search, CurrentDirectoryMissingFromTree) {
    tree({"C:\\DOS"});
    auto r = vux({"/n", "dos"}, c("WORK"));
    EXPECT_EQ(r.code, 6);
    EXPECT_EQ(r.err, "vux: The current working directory can't be found.\n");
    // Without /n the drive is scanned, even though a match was held.
    r = vux({"dos"}, c("WORK"));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, banner + rescanLine);
    EXPECT_NE(file(tools("dirtree.C")).find("C:\\WORK\r\n"), std::string::npos);
    // The current directory's line must be spelt in the same case with /c.
    tree({"C:\\work", "C:\\DOS"});
    r = vux({"/q", "/n", "/c", "DOS"}, c("WORK"));
    EXPECT_EQ(r.code, 6);
}

TEST_F(Search, VanishedDirectoryIsRescanned) {
    tree({"C:\\WORK", "C:\\GONE", "C:\\DOS"});
    auto r = vux({"gone"}, c("WORK"));
    EXPECT_EQ(r.code, 3);  // scanned silently, then no longer found
    EXPECT_EQ(r.out, banner + rescanLine);
    tree({"C:\\WORK", "C:\\GONE"});
    r = vux({"/q", "/n", "gone"}, c("WORK"));
    EXPECT_EQ(r.code, 10);
    EXPECT_EQ(r.err, "vux: Unable to change to \"C:\\GONE\".\n");
    EXPECT_EQ(batch(), "");
}

TEST_F(Search, HostileTreeFileIsReadPastWithoutHarm) {
    std::string longName(300, 'X');
    const char junk[] = "C:\\junk\0DOS\r\n";
    harness::writeFile(tools("dirtree.C"), "C:\\" + longName + "\\DOS\r\n" + "C:\\WORK\n" +
                                               std::string(junk, sizeof junk - 1) + "\r\n" + "C:\\DOS");
    auto r = vux({"/q", "/n", "dos"}, c("WORK"));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(batch(), "C:\r\ncd C:\\DOS\r\n");

    // Binary junk, lines of 10,000 characters, a NUL, a lone CR and no last line end.
    harness::makeDirs(c("REAL/TARGET"));
    std::string binary;
    for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 37) % 256);
    std::string hostile = binary + "\r\nC:\\NOWHERE\\TARGETX\r\n" + "C:\\" + std::string(10000, 'x') +
                          "\\TARGET\r\n" + std::string("C:\\NUL\0\\TARGET\r\n", 16) +
                          "C:\\lone\rCR\\TARGETS\r\nC:\\REAL\\TARGET\r\n" + "C:\\" + std::string(10000, 'y');
    harness::writeFile(tools("dirtree.C"), hostile);
    // Everything before the real line is ignored or can't be a match.
    r = vux({"/q", "/n", "target"}, c(""));
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(file(tools("dovux.bat")), "C:\r\ncd C:\\REAL\\TARGET\r\n");
    EXPECT_EQ(file(tools("dirtree.C")), hostile);  // a search never writes the tree file

    // A line that names no folder: with rescans off, the change fails.
    r = vux({"/q", "/n", "targetx"}, c(""));
    EXPECT_EQ(r.code, 10);
    EXPECT_EQ(r.err, "vux: Unable to change to \"C:\\NOWHERE\\TARGETX\".\n");
    // With rescans on, the scan replaces the hostile file and the search goes on.
    r = vux({"/q", "targetx"}, c(""));
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(file(tools("dovux.bat")), "C:\r\ncd C:\\REAL\\TARGET\r\n");
    EXPECT_EQ(file(tools("dirtree.C")), expectedTree());
}

TEST_F(Search, ScanForMissingTreeFileOpensPartialMatching) {
    // The scan that a missing tree file starts counts as the run's rescan, so the
    // first run without a tree file and the next one with it end alike.
    struct Case {
        std::vector<std::string> args;
        int code;
        std::string batch;
    };
    const Case cases[] = {
        {{"/q", "workshopxyz"},
         0,
         "C:\r\ncd C:\\WORK\r\n"},                       // only names shorter than the key share a beginning
        {{"/q", "dosxyz"}, 0, "C:\r\ncd C:\\dosx\r\n"},  // the longest common beginning wins
        {{"/q", "/ex", "dosxyz"}, 3, ""},
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(each.args.back() + (each.args.size() > 2 ? " /ex" : ""));
        harness::removeAll(tools("dirtree.C"));
        for (const char* run : {"without a tree file", "with it"}) {
            SCOPED_TRACE(run);
            auto r = vux(each.args, c(""));
            EXPECT_EQ(r.code, each.code) << r.err;
            EXPECT_EQ(batch(), each.batch);
        }
    }
}

TEST_F(Search, FoldersOnTheLongestPathsAreFound) {
    // C:\ + padding + \longN is a path of N characters; 259 is the longest a scan writes.
    for (std::size_t length : {257u, 258u, 259u}) {
        std::string name = "long" + std::to_string(length);
        std::string padding(length - 11, 'p');
        harness::makeDirs(c(padding + "/" + name));
        auto r = vux({"/q", name}, c(""));
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(batch(), "C:\r\ncd C:\\" + padding + "\\" + name + "\r\n");
    }
}

// A match that is there but may not be entered is passed over, with no rescan: the
// later ones stay reachable, and only when nothing else is left does the run fail.
TEST_F(Search, FolderThatCantBeEnteredIsPassedOver) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root, to run vux as an ordinary user through setpriv";
    for (const char* dir : {"a/secret", "b/secret", "c/secret"}) harness::makeDirs(c(dir));
    ::chmod(c("a/secret").c_str(), 0700);
    ::chmod(root.path().c_str(), 0755);
    ::chmod(tools("").c_str(), 0777);
    auto asUser = [&](const std::string& at) {
        std::vector<std::string> argv{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", program(),
                                      "/q", "secret"};
        return harness::run(argv, env, at);
    };
    tree({"C:\\a", "C:\\a\\secret", "C:\\b", "C:\\b\\secret", "C:\\c", "C:\\c\\secret", "C:\\WORK"});
    const std::string before = file(tools("dirtree.C"));
    std::string at = c("WORK");
    for (const char* expected : {"b/secret", "c/secret", "b/secret"}) {
        auto r = asUser(at);
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(landed(), c(expected));
        at = landed();
    }
    EXPECT_EQ(file(tools("dirtree.C")), before) << "no rescan runs for a folder that can't be entered";

    tree({"C:\\a", "C:\\a\\secret", "C:\\WORK"});
    auto r = asUser(c("WORK"));
    EXPECT_EQ(r.code, 10);
    EXPECT_EQ(r.err, "vux: Unable to change to \"C:\\a\\secret\".\n");
    EXPECT_EQ(file(tools("dirtree.C")), "C:\\a\r\nC:\\a\\secret\r\nC:\\WORK\r\n");
}

// A folder no scan lists (a dot-folder, one below a folder skip.vux names, one below
// a pseudo file system's mount point): a pass counts from its nearest listed
// ancestor and starts no rescan for it; a folder a scan would list but the tree file
// lacks still ends with 6.
TEST_F(Search, FromFoldersNoScanListsCountsFromTheNearestListedAncestor) {
    for (const char* dir : {"proj/.git/refs/heads", "proj/src", "proj/node_modules/pkg/lib", "proj/new",
                            "other/src", "fresh/.cache"}) {
        harness::makeDirs(c(dir));
    }
    harness::writeFile(tools("skip.vux"), "node_modules\n");
    const std::string treeText =
        "C:\\proj\r\nC:\\proj\\src\r\nC:\\proj\\node_modules\r\nC:\\other\r\n"
        "C:\\other\\src\r\nC:\\WORK\r\n";
    struct Row {
        std::string from;  // host folder
        std::vector<std::string> words;
        std::string drives;  // VUXDRIVES when not the fixture's
        int code;
        std::string landed;  // host folder, or the error line
    };
    for (const Row& row : std::vector<Row>{
             {c("proj/.git/refs/heads"), {"src"}, "", 0, c("proj/src")},
             {c("proj/.git"), {"c:src"}, "", 0, c("proj/src")},
             // Cycling goes on after the skipped folder's own line.
             {c("proj/node_modules/pkg/lib"), {"src"}, "", 0, c("other/src")},
             {c("proj/.git/refs"), {".."}, "", 0, c("proj/.git")},
             {c("proj/new"), {"/n", "src"}, "", 6, "vux: The current working directory can't be found.\n"},
             {c("fresh/.cache"),
              {"/n", "src"},
              "",
              6,
              "vux: The current working directory can't be found.\n"},
             // A pseudo file system's mount point on a drive mapped to the host's root.
             {"/proc/1", {"/n", "tmp"}, "C=/", 0, "/tmp"},
         }) {
        SCOPED_TRACE(row.from + " " + row.words.back());
        harness::Environment saved = env;
        harness::writeFile(tools("dirtree.C"), treeText);
        if (!row.drives.empty()) {
            env["VUXDRIVES"] = row.drives;
            env["VUXDATADIR"] = tools("");
            // Named on that drive: the host's root is C:\.
            harness::writeFile(tools("dirtree.C"), "C:\\proc\r\nC:\\tmp\r\n");
        }
        harness::removeAll(tools("dovux.sh"));
        auto r = vux(row.words, row.from);
        env = saved;
        EXPECT_EQ(r.code, row.code);
        if (row.code != 0) {
            EXPECT_EQ(r.err, row.landed);
            continue;
        }
        EXPECT_EQ(r.out, banner);  // no rescan
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(landed(), row.landed);
    }
}
