// Faults end to end that cross the areas: a data folder that can't hold the data
// files, names a shell would act on, link loops, hostile back and home files, and
// change files that no name can turn into a command. Every case ends with its
// message and code, or succeeds, and leaves no half-written file behind. A fault
// of one area (the scan, the search, the change, start-up) is tested in that
// area's file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "native_fixture.h"

namespace {

class Robust : public NativeDrives {
protected:
    // The host folder that sourcing dovux.sh in a POSIX shell ends in, run from an
    // empty folder so that a command it ran would leave its traces there.
    std::string shellLandsIn(const std::string& shell) {
        harness::makeDirs(root / "shell");
        auto r =
            harness::run({shell, "-c", ". \"$1\" && pwd -P", shell, tools("dovux.sh")}, {}, root / "shell");
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_TRUE(harness::listNames(root / "shell").empty()) << "the change file ran a command";
        return r.out.empty() ? "" : r.out.substr(0, r.out.size() - 1);
    }
};

}  // namespace

// ---- Data files that can't be where they must -------------------------------

TEST_F(Robust, MissingDataDirectory) {
    harness::makeDirs(c("WORK"));
    env["VUXDATADIR"] = "C:\\MISSING";
    auto r = vux({"/q", "work"}, c(""));
    EXPECT_EQ(r.code, 21);
    EXPECT_EQ(r.err, "vux: Can't create \"C:\\MISSING\\dirtree.C\".\n");
    r = vux({"/q", "/r"}, c(""));
    EXPECT_EQ(r.code, 21);
    EXPECT_EQ(r.err, "vux: Can't create \"C:\\MISSING\\dirtree.C\".\n");
    r = vux({"/q", "/define", "home", "WORK"}, c(""));
    EXPECT_EQ(r.code, 24);
    EXPECT_EQ(r.err, "vux: Couldn't create \"C:\\MISSING\\home.vux\".\n");
    r = vux({"/q", "/b"}, c(""));
    EXPECT_EQ(r.code, 26);
    EXPECT_EQ(r.err, "vux: Couldn't open \"C:\\MISSING\\back.vux\".\n");
    EXPECT_FALSE(harness::fileExists(c("MISSING")));
    EXPECT_EQ(file(tools("dovux.bat")), "");

    // Missing below a folder that exists, with the home taken from the current directory.
    harness::makeDirs(tools("home.vux.d"));
    env["VUXDATADIR"] = c("TOOLS/home.vux.d/nowhere");
    r = vux({"/q", "/define", "home"}, c("WORK"));
    EXPECT_EQ(r.code, 24);
    EXPECT_EQ(r.err, "vux: Couldn't create \"C:\\TOOLS\\home.vux.d\\nowhere\\home.vux\".\n");
}

TEST_F(Robust, DataDirectoryThatIsAFile) {
    harness::makeDirs(c("WORK"));
    harness::writeFile(c("datafile"), "not a folder\r\n");
    env["VUXDATADIR"] = c("datafile");  // a host path, made C:\datafile
    auto r = vux({"/q", "work"}, c(""));
    EXPECT_EQ(r.code, 21);
    EXPECT_EQ(r.err, "vux: Can't create \"C:\\datafile\\dirtree.C\".\n");
    r = vux({"/q", "/define", "home", "WORK"}, c(""));
    EXPECT_EQ(r.code, 24);
    EXPECT_EQ(r.err, "vux: Couldn't create \"C:\\datafile\\home.vux\".\n");
    r = vux({"/q", "/h"}, c(""));
    EXPECT_EQ(r.code, 25);
    EXPECT_EQ(r.err, "vux: Couldn't open \"C:\\datafile\\home.vux\".\n");
    // The configuration file can't be read either: the run goes on without it.
    r = vux({}, c("WORK"));
    EXPECT_EQ(r.code, 127);
    EXPECT_EQ(r.out, banner + "C:\\WORK\n");
    EXPECT_EQ(file(c("datafile")), "not a folder\r\n");
    expectNoTemporaryTree(c(""));
}

// A full disk: each file whose write fails is left empty, never cut to a length
// that the disk never held (zero bytes), and the run says which file failed. A scan
// with room for its tree file but not for the companion beside it keeps the tree file
// and leaves no companion.
TEST_F(Robust, FullDiskLeavesNoFileWithHoles) {
    std::string full = c("FULL");
    harness::makeDirs(full);
    if (geteuid() != 0 ||
        harness::run({"mount", "-t", "tmpfs", "-o", "size=512k", "tmpfs", full}, {}, "/").code != 0) {
        GTEST_SKIP() << "a small tmpfs can't be mounted here (needs root), so a full disk can't be tried";
    }
    struct Unmount {
        std::string folder;
        ~Unmount() { harness::run({"umount", "-l", folder}, {}, "/"); }
    } unmount{full};
    // The program folder, where the command batch lives, is on the small disk.
    ASSERT_EQ(symlink(VUX_BINARY, (full + "/vux").c_str()), 0);
    harness::makeDirs(c("WORK"));
    harness::makeDirs(c("A"));
    // A tree file of 30 pages; its companion takes 36 more.
    for (int i = 0; i < 3000; ++i) harness::makeDirs(c("many/folder with a longer name " + std::to_string(i)));
    auto run = [&](const std::vector<std::string>& args) {
        std::vector<std::string> argv{full + "/vux", "/q"};
        argv.insert(argv.end(), args.begin(), args.end());
        return harness::run(argv, env, c("WORK"));
    };
    ASSERT_EQ(run({"A"}).code, 0);       // the tree, back and change files, while there is room
    ASSERT_EQ(run({"nosuch"}).code, 3);  // the change files emptied: they hold no page now

    // Fills the disk a page at a time; each row may hand one page back first.
    int filler = ::open((full + "/filler").c_str(), O_WRONLY | O_CREAT, 0666);
    ASSERT_GE(filler, 0);
    const std::string page(4096, 'x');
    off_t filled = 0;
    while (::write(filler, page.data(), page.size()) == static_cast<ssize_t>(page.size())) filled += 4096;
    struct Case {
        int pagesFreed;
        std::vector<std::string> args;
        int code;
        std::string failed;  // the file named, which must be empty
    };
    const Case cases[] = {
        {0, {"A"}, 5, "vux: Unable to open C:\\FULL\\dovux.bat.\n\n"},
        {0, {"/define", "home", "C:\\A"}, 24, "vux: Couldn't create \"C:\\FULL\\home.vux\".\n"},
        {1, {"A"}, 5, "vux: Unable to open C:\\FULL\\dovux.sh.\n\n"},
        {40, {"/r"}, 127, ""},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.failed);
        ASSERT_EQ(::ftruncate(filler, filled -= 4096 * test.pagesFreed), 0);
        auto r = run(test.args);
        EXPECT_EQ(r.code, test.code);
        EXPECT_EQ(r.err, test.failed);
        for (const char* name : {"dovux.bat", "dovux.sh", "home.vux", "back.vux"}) {
            std::string text = harness::fileExists(full + "/" + name) ? file(full + "/" + name) : "";
            EXPECT_EQ(text.find('\0'), std::string::npos) << name << " holds zero bytes";
        }
        EXPECT_EQ(file(full + (test.code == 24 ? "/home.vux" : "/dovux.sh")), "");
        if (test.code == 127) {
            EXPECT_EQ(file(full + "/dirtree.C"), expectedTree());
            EXPECT_FALSE(harness::fileExists(full + "/dirtree.C.stamps"));
            expectNoTemporaryTree(full);
        }
    }
    ::close(filler);
}

// ---- Trees the scan must cut short or step around ---------------------------

TEST_F(Robust, NamesThatShellsAndPathsTreatSpecially) {
    const std::vector<std::string> names = {"with blank", "it's",  "say \"hi\"", "100%",
                                            "a&b",        "$HOME", "semi;colon", "\xff\xfe latin\xe9",
                                            "tab\there"};
    for (const std::string& name : names) harness::makeDirs(c(name));
    harness::makeDirs(c("back\\slash/inner"));
    auto r = vux({"/q", "/r"}, c(""));
    EXPECT_EQ(r.code, 127);
    std::string tree = file(tools("dirtree.C"));
    EXPECT_EQ(tree, expectedTree());
    for (const std::string& name : names)
        EXPECT_NE(tree.find("C:\\" + name + "\r\n"), std::string::npos) << name;
    // A name holding "\" can't be written as a path: left out with its subtree.
    EXPECT_EQ(tree.find("slash"), std::string::npos);
    EXPECT_EQ(tree.find("inner"), std::string::npos);

    struct Case {
        const char* key;
        std::string name;
        std::string cdLine;
    } cases[] = {
        {"with", "with blank", "cd C:\\with blank"},
        {"it's", "it's", "cd C:\\it's"},
        {"say*", "say \"hi\"", "cd \"C:\\say \"hi\"\""},
        {"100%", "100%", "cd \"C:\\100%%\""},
        {"a&b", "a&b", "cd \"C:\\a&b\""},
        {"$HOME", "$HOME", "cd C:\\$HOME"},
        {"semi;colon", "semi;colon", "cd C:\\semi;colon"},
        {"\xff\xfe*", "\xff\xfe latin\xe9", "cd C:\\\xff\xfe latin\xe9"},
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(each.name);
        r = vux({"/q", "/n", each.key}, c(""));
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(file(tools("dovux.bat")), "C:\r\n" + each.cdLine + "\r\n");
        EXPECT_EQ(shellLandsIn("bash"), c(each.name));
    }
}

TEST_F(Robust, SymbolicLinkLoopsAreNotFollowed) {
    harness::makeDirs(c("loop/inside"));
    ASSERT_EQ(symlink("..", c("loop/self").c_str()), 0);
    ASSERT_EQ(symlink(c("").c_str(), c("loop/inside/top").c_str()), 0);
    ASSERT_EQ(symlink("ring2", c("ring1").c_str()), 0);
    ASSERT_EQ(symlink("ring1", c("ring2").c_str()), 0);
    auto r = vux({"/q", "/r"}, c(""));
    EXPECT_EQ(r.code, 127);
    EXPECT_EQ(file(tools("dirtree.C")), expectedTree());
    EXPECT_EQ(file(tools("dirtree.C")).find("self"), std::string::npos);
    r = vux({"/q", "/n", "/ex", "top"}, c(""));
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(r.err, "vux: No match found for \"top\".\n");
}

// ---- Hostile data files and the change files ------------------------------

TEST_F(Robust, HostileBackAndHomeFiles) {
    harness::makeDirs(c("WORK"));
    harness::writeFile(tools("back.vux"), std::string(10000, 'z') + "\r\n");
    auto r = vux({"/q", "/b"}, c("WORK"));
    EXPECT_EQ(r.code, 9);
    // The first 259 characters are the target, a relative path too long to enter.
    EXPECT_EQ(r.err, "vux: Unable to change to \"" + std::string(259, 'z') + "\".\n");
    harness::writeFile(tools("home.vux"), std::string("\x01\xff\0C:\\WORK\r\n", 11));
    r = vux({"/q", "/h"}, c("WORK"));
    EXPECT_EQ(r.code, 9);
    EXPECT_EQ(r.err, "vux: Unable to change to \"\x01\xff\".\n");
    EXPECT_EQ(file(tools("dovux.bat")), "");
    EXPECT_EQ(file(tools("dovux.sh")), "");
}

TEST_F(Robust, NoNameCanMakeTheChangeFileRunACommand) {
    struct Case {
        std::string name;
        const char* key;  // a word without blanks that finds it
    } cases[] = {
        {"$(touch X)'", "$(touch"},        {"'; touch Y; '", "'"},
        {"`touch Z`", "`touch"},           {"\"; touch W; \"", "\";"},
        {"a'b'$(touch V)", "a'b'$(touch"},
    };
    std::string tree;
    for (const Case& each : cases) {
        harness::makeDirs(c(each.name));
        tree += "C:\\" + each.name + "\r\n";
    }
    harness::writeFile(tools("dirtree.C"), tree);
    for (const Case& each : cases) {
        SCOPED_TRACE(each.name);
        auto r = vux({"/q", "/n", each.key}, c(""));
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(shellLandsIn("bash"), c(each.name));
        EXPECT_EQ(shellLandsIn("sh"), c(each.name));
    }

    // The same through the back and home files, whose lines come from anywhere.
    harness::writeFile(tools("back.vux"), "C:\\" + cases[0].name + "\r\n");
    ASSERT_EQ(vux({"/q", "/b"}, c("")).code, 127);
    EXPECT_EQ(shellLandsIn("bash"), c(cases[0].name));
    harness::writeFile(tools("home.vux"), "C:\\" + cases[2].name + "\r\n");
    ASSERT_EQ(vux({"/q", "/h"}, c("")).code, 127);
    EXPECT_EQ(shellLandsIn("bash"), c(cases[2].name));
    for (const char* trace : {"X", "Y", "Z", "W", "V"}) {
        EXPECT_FALSE(harness::fileExists(c(trace))) << trace;
        EXPECT_FALSE(harness::fileExists(root / trace)) << trace;
    }
}

TEST_F(Robust, DriveRootWithQuotesAndBackslashInItsHostFolder) {
    // The host folder of drive E is spelled with ' and \ : the change file must
    // still name it as one quoted word.
    std::string hostRoot = root / "e'\\'x\\";
    harness::makeDirs(hostRoot + "/in");
    env["VUXDRIVES"] += ":E=" + hostRoot;
    env["VUXDATADIR"] = "C:\\TOOLS";
    harness::writeFile(tools("dirtree.E"), "E:\\in\r\n");
    auto r = vux({"/q", "/n", "e:in"}, c(""));
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(shellLandsIn("bash"), hostRoot + "/in");
    EXPECT_EQ(shellLandsIn("sh"), hostRoot + "/in");
}
