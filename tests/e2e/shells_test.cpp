// The installed shell functions in real shells: every POSIX sh sources vux.sh, fish
// sources vux.fish, tcsh and csh source vux.csh; each must land in the folder vux
// chose, keep vux's exit code as its status (127 made 0), never run text taken from
// a folder name, and stay out of the way of other shells, errexit and a vux alias
// defined before. One row a shell, one test a behaviour: ctest's list of results is
// the table of shells and behaviours.
#include <ostream>
#include <thread>

#include "native_fixture.h"

namespace {

struct Shell {
    std::string name;
    std::vector<std::string> command;  // the shell, with flags that keep the user's start-up files out
    std::string wrapper;               // the file the install wrote for it
    std::string source;                // the command that reads it into the shell
    std::string status;                // the last command's status
    std::string errexit;               // turns on every way a failing command ends it
    std::vector<std::string> foreign;  // an alias and a function named vux, defined first
    std::string wildcard;              // how a user types the key alph* in this shell
    bool subshells = true;             // whether ( ... ) & runs the function in a process of its own
};

void PrintTo(const Shell& shell, std::ostream* out) { *out << shell.name; }

// Single quotes: enough for the test's own folders, in the sh family and in fish.
std::string quoted(const std::string& path) { return "'" + path + "'"; }

// Every path below `folder` whose last name is `name`.
std::vector<std::string> findNamed(const std::string& folder, const std::string& name) {
    std::vector<std::string> found;
    for (const std::string& entry : harness::listNames(folder)) {
        std::string path = folder + "/" + entry;
        if (entry == name) found.push_back(path);
        if (harness::isDirectory(path)) {
            for (const std::string& deeper : findNamed(path, name)) found.push_back(deeper);
        }
    }
    return found;
}

// Blanks, both quotes of the sh family, command substitution in both spellings, a
// command separator and csh's history mark: any of them, unquoted, would run or
// split something.
const std::string hostileName = "odd name 'q' $(touch INJECTED) `touch INJECTED` & !x";

}  // namespace

class ShellWrapper : public NativeDrives, public ::testing::WithParamInterface<Shell> {
protected:
    void SetUp() override {
        if (!harness::haveProgram(GetParam().command[0])) {
            GTEST_SKIP() << GetParam().command[0] << " is not installed, so its wrapper can't be tried";
        }
        harness::makeDirs(c("WORK"));
        harness::makeDirs(c("PROJECTS/alpha"));
        harness::makeDirs(c("PROJECTS/" + hostileName));
        harness::makeDirs(root / "home");
        // The shells' own files stay off the drives.
        env["HOME"] = root / "home";
        install(program());
    }

    // Installs from drive D with /q, so later runs print only what a test asks for.
    void install(const std::string& programPath) {
        wrapperFolder = d("INST");
        harness::makeDirs(wrapperFolder);
        auto r = harness::run({programPath, "/install", "/q"}, env, wrapperFolder);
        ASSERT_EQ(r.code, 127) << r.err;
    }

    // Runs the commands in the shell after sourcing the installed wrapper. What comes
    // before stands on a line of its own, so that an alias it defines is in force
    // when the shell reads the wrapper.
    harness::RunResult inShell(const std::string& commands, const std::string& cwd = "",
                               const std::string& before = "") {
        const Shell& shell = GetParam();
        std::vector<std::string> argv = shell.command;
        argv.push_back("-c");
        argv.push_back((before.empty() ? "" : before + "\n") + shell.source + " " +
                       quoted(wrapperFolder + "/" + shell.wrapper) + "\n" + commands);
        return harness::run(argv, env, cwd.empty() ? root / "home" : cwd);
    }

    // Calls the function, then shows its status and where the shell stands.
    std::string call(const std::string& args) const {
        return "vux " + args + "; echo status=" + GetParam().status + "; pwd; ";
    }
    std::string cdTo(const std::string& path) const { return "cd " + quoted(path) + "; "; }

    std::string wrapperFolder;
};

TEST_P(ShellWrapper, LandsInFoundFolder) {
    auto r = inShell(cdTo(c("WORK")) + call("alpha"));
    EXPECT_EQ(r.out, "status=0\n" + c("PROJECTS/alpha") + "\n");
    EXPECT_EQ(r.err, "");
}

TEST_P(ShellWrapper, RepeatedKeyCyclesThroughEqualNames) {
    harness::makeDirs(c("OTHER/alpha"));
    auto r = inShell(cdTo(c("WORK")) + "vux /q /r\n" + call("alpha") + call("alpha") + call("alpha"));
    const std::string first = r.out.substr(0, r.out.find('\n', 9) + 1);
    const std::string other =
        first == "status=0\n" + c("OTHER/alpha") + "\n" ? c("PROJECTS/alpha") : c("OTHER/alpha");
    EXPECT_EQ(r.out, first + "status=0\n" + other + "\n" + first);
    EXPECT_EQ(r.err, "");
}

TEST_P(ShellWrapper, HostileFolderNamesAreTakenLiterally) {
    // The program itself in such a folder too: the function names it by host path.
    std::string hostileTools = c("PROJECTS/" + hostileName + "/bin");
    harness::makeDirs(hostileTools);
    harness::copyFile(VUX_BINARY, hostileTools + "/vux");
    install(hostileTools + "/vux");

    auto r = inShell(cdTo(c("WORK")) + call("'odd*'"));
    EXPECT_EQ(r.out, "status=0\n" + c("PROJECTS/" + hostileName) + "\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(findNamed(root.path(), "INJECTED"), std::vector<std::string>{});
}

TEST_P(ShellWrapper, DriveRootWithBackslashesIsTakenLiterally) {
    // Names below a root never hold a backslash, but the host folder of a root may,
    // and fish reads \' and \\ inside single quotes as escapes.
    std::string drive = root / "r\\';touch INJECTED;#\\\\z";
    harness::makeDirs(drive + "/TOOLS");
    harness::makeDirs(drive + "/alpha");
    harness::copyFile(VUX_BINARY, drive + "/TOOLS/vux");
    env["VUXDRIVES"] = "C=" + drive + ":D=" + d("");
    install(drive + "/TOOLS/vux");

    auto r = inShell(call("alpha"), drive + "/TOOLS");
    EXPECT_EQ(r.out, "status=0\n" + drive + "/alpha\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(findNamed(root.path(), "INJECTED"), std::vector<std::string>{});
}

TEST_P(ShellWrapper, StatusIsTheExitCode) {
    auto r = inShell(cdTo(c("WORK")) + call("nosuchfolder") + call(""));
    // With no arguments at all, vux prints where it stands; its 127 is success to a shell.
    EXPECT_EQ(r.out, "status=3\n" + c("WORK") + "\nC:\\WORK\nstatus=0\n" + c("WORK") + "\n");
    EXPECT_EQ(r.err, "vux: No match found for \"nosuchfolder\".\n");
}

// csh hands its alias the redirection as words: they must redirect the run there too.
TEST_P(ShellWrapper, RedirectionAppliesToTheRun) {
    const std::string printed = quoted(c("WORK/printed"));
    auto r = inShell(cdTo(c("WORK")) + "vux > printed; " + call("alpha >> " + printed) + "cat " + printed);
    EXPECT_EQ(r.out, "status=0\n" + c("PROJECTS/alpha") + "\nC:\\WORK\n");
    EXPECT_EQ(r.err, "");
}

TEST_P(ShellWrapper, FailedRunLeavesShellWhereItWas) {
    // The successful run first leaves a change behind that the failing one must not replay.
    auto r = inShell(cdTo(c("WORK")) + call("alpha") + cdTo(c("WORK")) + call("nosuchfolder"));
    EXPECT_EQ(r.out, "status=0\n" + c("PROJECTS/alpha") + "\nstatus=3\n" + c("WORK") + "\n");
}

TEST_P(ShellWrapper, BackReturnsToPreviousFolder) {
    auto r = inShell(cdTo(c("WORK")) + "vux alpha; " + call("/b") + call("/b"));
    // Back ends without a search, vux's 127, which the function reports as success.
    EXPECT_EQ(r.out, "status=0\n" + c("WORK") + "\nstatus=0\n" + c("PROJECTS/alpha") + "\n");
    EXPECT_EQ(r.err, "");
}

TEST_P(ShellWrapper, ErrexitNeverEndsTheShellEarly) {
    if (GetParam().errexit.empty()) GTEST_SKIP() << GetParam().name << " has no errexit a script turns on";
    // 127 (back, no key) must not count as a failure, nor end the function unread.
    auto r =
        inShell(GetParam().errexit + cdTo(c("WORK")) + call("alpha") + call("/b") + call("") + "echo end");
    EXPECT_EQ(r.out, "status=0\n" + c("PROJECTS/alpha") + "\nstatus=0\n" + c("WORK") +
                         "\nC:\\WORK\nstatus=0\n" + c("WORK") + "\nend\n");
    EXPECT_EQ(r.err, "");
}

TEST_P(ShellWrapper, ForeignVuxDefinedBeforeIsReplaced) {
    for (const std::string& before : GetParam().foreign) {
        SCOPED_TRACE(before);
        auto r = inShell(cdTo(c("WORK")) + call("alpha"), "", before);
        EXPECT_EQ(r.out, "status=0\n" + c("PROJECTS/alpha") + "\n");
        EXPECT_EQ(r.err, "");
    }
}

TEST_P(ShellWrapper, SlashSeparatesPathTailsButNotOptionWords) {
    harness::makeDirs(c("OTHER/alpha"));
    harness::makeDirs(c("WORK/deep"));
    const std::pair<std::string, std::string> cases[] = {
        {"vux PROJECTS/alpha", c("PROJECTS/alpha")},
        {"vux c:other/ALPHA", c("OTHER/alpha")},
        {"vux -q /define home ../WORK/deep; vux /h", c("WORK/deep")},
        {"vux '-define home' c:/WORK; vux /q /h", c("WORK")},
    };
    for (const auto& [commands, landing] : cases) {
        SCOPED_TRACE(commands);
        auto r = inShell(cdTo(c("PROJECTS")) + commands + "; echo status=" + GetParam().status + "; pwd");
        EXPECT_EQ(r.out, "status=0\n" + landing + "\n");
        EXPECT_EQ(r.err, "");
    }
}

TEST_P(ShellWrapper, ShellsRunningAtOnceKeepTheirOwnChanges) {
    harness::makeDirs(c("PROJECTS/beta"));
    inShell(cdTo(c("WORK")) + "vux /q /r");
    // Two shells, each going to its own folder again and again, count the other landings.
    const int calls = 40;
    auto wrongLandings = [&](const std::string& key) {
        std::string commands;
        for (int i = 0; i < calls; ++i) commands += cdTo(c("WORK")) + "vux " + key + "; pwd\n";
        std::string out = inShell(commands).out;
        std::string line = c("PROJECTS/" + key) + "\n";
        int right = 0;
        for (std::size_t at = out.find(line); at != std::string::npos; at = out.find(line, at + 1)) ++right;
        return calls - right;
    };
    int betaWrong = 0;
    std::thread other([&] { betaWrong = wrongLandings("beta"); });
    EXPECT_EQ(wrongLandings("alpha"), 0);
    other.join();
    EXPECT_EQ(betaWrong, 0);
    for (const std::string& name : harness::listNames(c("TOOLS"))) {
        EXPECT_TRUE(name.rfind("dovux.", 0) != 0 || name == "dovux.bat" || name == "dovux.sh")
            << "left behind: " << name;
    }
}

// Subshells of one shell share its $$: each job must still read its own change, and
// a run without a change leaves no change file, even for a moment.
TEST_P(ShellWrapper, SubshellJobsKeepTheirOwnChanges) {
    if (!GetParam().subshells) GTEST_SKIP() << GetParam().name << " runs no function in a subshell";
    harness::makeDirs(c("PROJECTS/beta"));
    inShell(cdTo(c("WORK")) + "vux /q /r");
    const int rounds = 30;
    std::string commands = cdTo(c("WORK")) + "\n";  // csh would take cd into the first job
    for (int i = 0; i < rounds; ++i) commands += "( vux /q alpha; pwd ) & ( vux /q beta; pwd ) & wait\n";
    std::string out = inShell(commands).out;
    for (const char* key : {"alpha", "beta"}) {
        std::string line = c(std::string("PROJECTS/") + key) + "\n";
        int right = 0;
        for (std::size_t at = out.find(line); at != std::string::npos; at = out.find(line, at + 1)) ++right;
        EXPECT_EQ(right, rounds) << key << "\n" << out;
    }
    env["VUXSESSION"] = "4242";
    EXPECT_EQ(vux({"/q", "/n", "nosuchfolder"}, c("WORK")).code, 3);
    EXPECT_FALSE(harness::fileExists(tools("dovux.4242.sh")));
}

// A key ending in * reaches vux as typed: zsh's and csh's vux take it so, in the
// other shells the user quotes it, and the function must not expand it again.
TEST_P(ShellWrapper, WildcardKeyReachesVuxUnexpanded) {
    harness::writeFile(c("WORK/alphabet"), "");  // a name the shell could expand the key to
    auto r = inShell(cdTo(c("WORK")) + "vux /q /r " + GetParam().wildcard + "; pwd");
    EXPECT_EQ(r.out, c("PROJECTS/alpha") + "\n") << r.err;
}

// The sh family: an alias and both kinds of function named vux defined before.
Shell posixShell(const std::string& name, std::vector<std::string> command, const std::string& source = ".") {
    std::vector<std::string> foreign{"alias vux='echo aliased'", "vux() { :; }"};
    if (name == "ksh" || name == "mksh") foreign.push_back("function vux { :; }");
    if (name == "posh") foreign.erase(foreign.begin());  // posh has no aliases
    return Shell{name, std::move(command), "vux.sh", source, "$?", "set -e; ", foreign, "'alph*'"};
}

// tcsh and csh: their vux is an alias, which globs no word.
Shell cshShell(const std::string& name) {
    return Shell{name,   {name, "-f"}, "vux.csh", "source", "$status", "", {"alias vux 'echo aliased'"},
                 "alph*"};
}

INSTANTIATE_TEST_SUITE_P(
    Shells, ShellWrapper,
    ::testing::Values(posixShell("sh", {"sh"}), posixShell("ksh", {"ksh"}), posixShell("mksh", {"mksh"}),
                      posixShell("yash", {"yash"}), posixShell("posh", {"posh"}),
                      posixShell("ash", {"busybox", "ash"}),
                      Shell{"bash",
                            {"bash", "--norc", "--noprofile"},
                            "vux.sh",
                            "source",
                            "$?",
                            "set -e; ",
                            {"shopt -s expand_aliases; alias vux='echo aliased'", "vux() { :; }"},
                            "'alph*'"},
                      Shell{"zsh",
                            {"zsh", "-f"},
                            "vux.sh",
                            "source",
                            "$?",
                            "setopt err_exit err_return; ",
                            {"alias vux='echo aliased'", "vux() { :; }"},
                            "alph*"},
                      Shell{"fish",
                            {"fish", "--no-config"},
                            "vux.fish",
                            "source",
                            "$status",
                            "",
                            {"alias vux 'echo aliased'", "function vux; end"},
                            "'alph*'",
                            false},
                      cshShell("tcsh"), cshShell("csh")),
    [](const ::testing::TestParamInfo<Shell>& shell) { return shell.param.name; });
