// Options as the user types them and as the configuration file gives them: the
// banner, the help screen, abbreviations, exclusions, limits and their messages.
#include <string>

#include "native_fixture.h"

namespace {

const std::string helpScreen =
    "\n"
    "vux enables you to change directories quickly.\n"
    "\n"
    "vux [Options] [Drive:][Search key]\n"
    "\n"
    "    /?                    Help on using vux\n"
    "    /r[escan]             Force rescan of directory structure\n"
    "    /n[orescan]           No rescan of directory structure\n"
    "    /inst[all]            Create vux.bat and vux.cfg with given options\n"
    "    /c[ase sensitive]     Perform a case sensitive search\n"
    "    /ex[act match]        Accept exact matches only\n"
    "    /v[erbose]            Display all messages\n"
    "    /q[uiet]              Suppress informational messages\n"
    "    /m[ute]               Suppress all messages not especially asked for\n"
    "    /b[ack]               Return to previous directory\n"
    "    /disable backlog      Disable backlogging\n"
    "    /define home path     Define home directory\n"
    "    /h[ome]               Go to home directory (if defined)\n"
    "\n"
    "The data directory may be defined in an environment variable \"VUXDATADIR\".\n";

class Options : public NativeDrives {
protected:
    Options() { harness::makeDirs(c("WORK")); }
    harness::RunResult at(const std::vector<std::string>& args) { return vux(args, c("WORK")); }
    void config(const std::string& text) { harness::writeFile(tools("vux.cfg"), text); }
};

}  // namespace

TEST_F(Options, HelpScreen) {
    auto r = at({"/?"});
    EXPECT_EQ(r.code, 127);
    EXPECT_EQ(r.out, banner + helpScreen);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(file(tools("dovux.bat")), "");
    EXPECT_EQ(at({"/help"}).out, banner + helpScreen);
    EXPECT_EQ(at({"/?", "/help"}).out, banner + helpScreen);
    EXPECT_EQ(at({"/?", "/q"}).out, helpScreen);
    EXPECT_EQ(at({"/?x"}).out, banner + helpScreen + "vux: Rescanning directory structure.\n");
}

TEST_F(Options, HelpWithBackAndKeyFailsFirst) {
    auto r = at({"/?", "/b", "x"});
    EXPECT_EQ(r.code, 23);
    EXPECT_EQ(r.out, banner);
    EXPECT_EQ(r.err, "vux: No search key may be specified with \"/b[ack]\".\n");
}

TEST_F(Options, QuietAndMuteSilenceBanner) {
    EXPECT_EQ(at({"/q"}).out, "");
    EXPECT_EQ(at({"/m"}).out, "");
    auto r = at({"/m", "/x"});
    EXPECT_EQ(r.code, 101);
    EXPECT_EQ(r.err, "vux: Unknown option \"/x\"\n");
    // The last of v, q and m wins: quiet keeps the error, drops the scan line.
    r = at({"/v", "/q", "/m", "/q", "zzz"});
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "vux: No match found for \"zzz\".\n");
    r = at({"/m", "zzz"});
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(r.err, "");
}

TEST_F(Options, AbbreviationsAndUnknownWords) {
    for (const char* word : {"/REScan", "-rescan", "/r"}) {
        SCOPED_TRACE(word);
        harness::removeAll(tools("dirtree.C"));
        auto r = at({"/q", word});
        EXPECT_EQ(r.code, 127);
        EXPECT_TRUE(harness::fileExists(tools("dirtree.C")));
    }
    for (const char* word : {"/res", "/case", "/", "/insta", "-x"}) {
        SCOPED_TRACE(word);
        auto r = at({word});
        EXPECT_EQ(r.code, 101);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, std::string("vux: Unknown option \"") + word + "\"\n");
    }
    EXPECT_EQ(at({"/q", "/c"}).code, 127);
    EXPECT_EQ(at({"/q", "/case", "sensitive"}).code, 127);
    EXPECT_EQ(at({"/q", "/disable", "backlog"}).code, 127);
    EXPECT_EQ(at({"/disable"}).code, 101);
}

TEST_F(Options, WordAfterWholePatternIsNextWord) {
    // /rescanx is the rescan option and the key x.
    harness::makeDirs(c("x"));
    auto r = at({"/q", "/rescanx"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(file(tools("dovux.bat")), "C:\r\ncd C:\\x\r\n");
}

TEST_F(Options, CountLimits) {
    const std::string tooOften = "Too many occurences of option ";
    auto r = at({"a", "b"});
    harness::expectFails(r, 102, tooOften + "\"search key\".");
    EXPECT_EQ(r.out, banner);
    r = at({"/inst", "/inst"});
    harness::expectFails(r, 102, tooOften + "\"/inst[all]\".");
    EXPECT_EQ(r.out, "");

    std::vector<std::string> words;
    for (int i = 0; i < 49; ++i) words.push_back("w" + std::to_string(i));
    r = at(words);
    harness::expectFails(r, 102, tooOften + "\"search key\".");
    EXPECT_EQ(r.out, banner);
    words.push_back("w49");
    r = at(words);
    harness::expectFails(r, 100, "Too many requested actions");
    EXPECT_EQ(r.out, "");
}

TEST_F(Options, BackAndHomeRefuseKey) {
    harness::expectFails(at({"/b", "x"}), 23, "No search key may be specified with \"/b[ack]\".");
    harness::expectFails(at({"x", "/b"}), 23, "No search key may be specified with \"/b[ack]\".");
    harness::expectFails(at({"/h", "x"}), 22, "No search key may be specified with \"/h[ome]\".");
    harness::expectFails(at({"/m", "/h", "x"}), 22, "");
}

TEST_F(Options, OverlongArgumentsAndWords) {
    // 520 characters is still taken as an argument (and fails only as a path).
    harness::expectFails(at({"/define", "home", std::string(520, 'a')}), 28,
                         "Illegal argument for option \"/home\".");
    auto r = at({"/define", "home", std::string(521, 'a')});
    harness::expectFails(r, 103, "The argument of an option is longer than 520 characters.");
    EXPECT_EQ(r.out, "");
    harness::expectFails(at({std::string(521, 'k')}), 105, "A word is longer than 520 characters.");
    harness::expectFails(at({std::string(260, 'k')}), 105, "The search key is longer than 259 characters.");
    harness::expectFails(at({std::string(700, 'k'), std::string(700, 'k')}), 104,
                         "The configuration and command-line words are longer than 1299 characters.");
}

TEST_F(Options, ConfigurationWordsComeFirst) {
    // The worked example: /q in the file, /v /r src typed.
    harness::makeDirs(c("src"));
    config("/q\r\n");
    auto r = at({"/v", "/r", "src"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, banner + "vux: Rescanning directory structure.\n");
    EXPECT_EQ(file(tools("dovux.bat")), "C:\r\ncd C:\\src\r\n");

    // Options alone in the file take effect on a run with no arguments.
    config("/q \r\n\r\n   \r\n");
    r = at({});
    EXPECT_EQ(r.code, 127);
    EXPECT_EQ(r.out, "C:\\WORK\n");
}

TEST_F(Options, ConfigurationLinesInPiecesAndTabs) {
    // A line of 600 characters is read as 519 and 81: two plain words here.
    config(std::string(600, 'k') + "\r\n");
    auto r = at({});
    EXPECT_EQ(r.code, 102);
    EXPECT_EQ(r.err, "vux: Too many occurences of option \"search key\".\n");
    // A tab does not separate words.
    config("/v\t/q\n");
    r = at({});
    EXPECT_EQ(r.code, 101);
    EXPECT_EQ(r.err, "vux: Unknown option \"/v\t/q\"\n");
}
