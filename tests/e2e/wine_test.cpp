// vux.exe under Wine with Wine's own cmd.exe: start-up as the shell hands it over,
// the data files, and the errors a run ends with.
#include "wine_fixture.h"

using harness::crlf;

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
