// The installed shell functions in real shells: sh, bash and zsh source vux.sh,
// fish sources vux.fish; each must land in the folder vux chose, keep vux's exit
// code as its status, and never run text taken from a folder name.
#include <ostream>

#include "native_fixture.h"

namespace {

struct Shell {
    std::string name;
    std::string wrapper;                // the file the install wrote for it
    std::string source;                 // the command that reads it into the shell
    std::string status;                 // the last command's status
    std::vector<std::string> noConfig;  // flags that keep the user's start-up files out
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

// Blanks, both quotes of the sh family, command substitution in both spellings and
// a command separator: any of them, unquoted, would run or split something.
const std::string hostileName = "odd name 'q' $(touch INJECTED) `touch INJECTED` & x";

}  // namespace

class ShellWrapper : public NativeDrives, public ::testing::WithParamInterface<Shell> {
protected:
    void SetUp() override {
        if (!harness::haveProgram(GetParam().name)) {
            GTEST_SKIP() << GetParam().name << " is not installed, so its wrapper can't be tried";
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

    // Runs the commands in the shell after sourcing the installed wrapper.
    harness::RunResult inShell(const std::string& commands, const std::string& cwd = "") {
        const Shell& shell = GetParam();
        std::vector<std::string> argv{shell.name};
        argv.insert(argv.end(), shell.noConfig.begin(), shell.noConfig.end());
        argv.push_back("-c");
        argv.push_back(shell.source + " " + quoted(wrapperFolder + "/" + shell.wrapper) + "; " + commands);
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
    // With no arguments at all, vux prints where it stands.
    EXPECT_EQ(r.out, "status=3\n" + c("WORK") + "\nC:\\WORK\nstatus=127\n" + c("WORK") + "\n");
    EXPECT_EQ(r.err, "vux: No match found for \"nosuchfolder\".\n");
}

TEST_P(ShellWrapper, FailedRunLeavesShellWhereItWas) {
    // The successful run first leaves a change behind that the failing one must not replay.
    auto r = inShell(cdTo(c("WORK")) + call("alpha") + cdTo(c("WORK")) + call("nosuchfolder"));
    EXPECT_EQ(r.out, "status=0\n" + c("PROJECTS/alpha") + "\nstatus=3\n" + c("WORK") + "\n");
}

TEST_P(ShellWrapper, BackReturnsToPreviousFolder) {
    auto r = inShell(cdTo(c("WORK")) + "vux alpha; " + call("/b") + call("/b"));
    // Back ends without a search, so its status is 127, and the change still happens.
    EXPECT_EQ(r.out, "status=127\n" + c("WORK") + "\nstatus=127\n" + c("PROJECTS/alpha") + "\n");
    EXPECT_EQ(r.err, "");
}

INSTANTIATE_TEST_SUITE_P(Shells, ShellWrapper,
                         ::testing::Values(Shell{"sh", "vux.sh", ".", "$?", {}},
                                           Shell{"bash", "vux.sh", "source", "$?", {"--norc", "--noprofile"}},
                                           Shell{"zsh", "vux.sh", "source", "$?", {"-f"}},
                                           Shell{"fish", "vux.fish", "source", "$status", {"--no-config"}}),
                         [](const ::testing::TestParamInfo<Shell>& shell) { return shell.param.name; });
