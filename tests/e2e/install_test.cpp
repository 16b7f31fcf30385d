// The install: vux.cfg made from the command-line words, vux.bat and the POSIX
// shell wrappers written into the current folder, and the ways it can fail.
#include <sys/stat.h>

#include <cstdlib>

#include "native_fixture.h"

using harness::crlf;

namespace {

const std::string creatingConfig = "vux: Creating new vux.cfg\n";
const std::string creatingWrappers =
    "vux: Creating new vux.bat in current working directory.\n"
    "vux: Creating new vux.sh in current working directory.\n"
    "vux: Creating new vux.fish in current working directory.\n"
    "vux: Creating new vux.csh in current working directory.\n";

// vux.bat for a program path; the line after :DOS names the program as
// `shortProgram`, the form a shell without the OS variable runs.
std::string wrapperBatch(const std::string& program, const std::string& shortProgram,
                         const std::string& commandBatch) {
    const std::string session =
        "\"" + commandBatch.substr(0, commandBatch.size() - 4) + ".%VUXSESSION%.bat\"";
    return crlf(
        "@echo off\n"
        "if not \"Windows_NT\"==\"%OS%\" goto DOS\n"
        "set VUXTRIES=0\n"
        "set VUXSESSION=\n"
        "if not defined TEMP goto VuxRun\n"
        ":VuxClaim\n"
        "set /a VUXTRIES+=1\n"
        "set VUXSESSION=%RANDOM%\n"
        "(call )\n"
        "mkdir \"%TEMP%\\vux.%VUXSESSION%\" 2>nul\n"
        "if not errorlevel 1 goto VuxRun\n"
        "set VUXSESSION=\n"
        "if %VUXTRIES% lss 20 goto VuxClaim\n"
        ":VuxRun\n"
        "set VUXTRIES=\n"
        "\"" +
        program +
        "\" %*\n"
        "set VUXRC=%ERRORLEVEL%\n"
        "if not defined VUXSESSION call \"" +
        commandBatch +
        "\"\n"
        "if defined VUXSESSION if exist " +
        session + " call " + session +
        "\n"
        "if defined VUXSESSION if exist " +
        session + " del " + session +
        "\n"
        "if defined VUXSESSION rmdir \"%TEMP%\\vux.%VUXSESSION%\"\n"
        "if \"%VUXRC%\"==\"127\" set VUXRC=0\n"
        "set VUXSESSION=&set VUXRC=&exit /b %VUXRC%\n"
        ":DOS\n" +
        shortProgram + " %1 %2 %3 %4 %5 %6 %7 %8 %9\n" + commandBatch + "\n");
}

const std::string toolsBatch = wrapperBatch("C:\\TOOLS\\vux", "C:\\T.exe", "C:\\TOOLS\\dovux.bat");

}  // namespace

class Install : public NativeDrives {
protected:
    Install() { harness::makeDirs(here("")); }

    // The folder the install runs in, where the wrappers land.
    std::string here(const std::string& name) const { return c("INST/" + name); }
    std::string config() const { return tools("vux.cfg"); }

    harness::RunResult install(const std::vector<std::string>& args) { return vux(args, here("")); }
};

TEST_F(Install, AloneEmptiesConfigAndWritesEveryWrapper) {
    harness::writeFile(config(), "/v \r\n");
    auto r = install({"/install"});
    EXPECT_EQ(r.code, 127);
    EXPECT_EQ(r.out, banner + creatingConfig + creatingWrappers);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(file(config()), "");
    EXPECT_EQ(file(here("vux.bat")), toolsBatch);
    // The shell functions run the program by its host path, for their own shell.
    EXPECT_NE(file(here("vux.sh")).find("VUXSESSION=$vux_id '" + program() + "' \"$@\""), std::string::npos)
        << file(here("vux.sh"));
    EXPECT_NE(file(here("vux.fish")).find("VUXSESSION=$fish_pid '" + program() + "' $vux_words"),
              std::string::npos)
        << file(here("vux.fish"));
    EXPECT_NE(file(here("vux.csh")).find("set vux_program = '" + program() + "'\n"), std::string::npos)
        << file(here("vux.csh"));
    // Their completion asks the program itself.
    for (const char* name : {"vux.sh", "vux.fish"}) {
        EXPECT_NE(file(here(name)).find("VUXCOMPLETE=1 '" + program() + "' \"$word\""), std::string::npos)
            << name;
    }
    EXPECT_FALSE(harness::fileExists(tools("vux.bat")));
}

TEST_F(Install, ConfigHoldsOneLinePerOptionWithItsArguments) {
    struct Case {
        std::vector<std::string> args;
        std::string config;
    };
    const Case cases[] = {
        {{"/install", "/v", "/c"}, "/v \r\n/c \r\n"},
        {{"/v", "/install", "/c"}, "/v \r\n/c \r\n"},
        {{"/inst", "/v"}, "/v \r\n"},
        {{"/INSTALL", "/v"}, "/v \r\n"},
        {{"-install", "-v"}, "-v \r\n"},
        {{"/install", "/define", "home", "C:\\x"}, "/define home C:\\x \r\n"},
        {{"/install", "/v", "/define", "home", "C:\\x", "/c"}, "/v \r\n/define home C:\\x \r\n/c \r\n"},
    };
    for (const Case& test : cases) {
        std::string line;
        for (const std::string& arg : test.args) line += arg + " ";
        SCOPED_TRACE(line);
        // The old file's words would be parsed into this run too.
        harness::removeAll(config());
        auto r = install(test.args);
        EXPECT_EQ(r.code, 127);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(file(config()), test.config);
        EXPECT_EQ(file(here("vux.bat")), toolsBatch);
    }
}

TEST_F(Install, QuietWritesEveryFileSilently) {
    auto r = install({"/install", "/q"});
    EXPECT_EQ(r.code, 127);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(file(config()), "/q \r\n");
    EXPECT_EQ(file(here("vux.bat")), toolsBatch);
    EXPECT_TRUE(harness::fileExists(here("vux.sh")));
    EXPECT_TRUE(harness::fileExists(here("vux.fish")));
}

TEST_F(Install, OldConfigWordsApplyButAreNotCarriedOver) {
    harness::writeFile(config(), "/q \r\n");
    auto r = install({"/install", "/c"});
    EXPECT_EQ(r.code, 127);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(file(config()), "/c \r\n");
}

TEST_F(Install, SearchKeyRefusesInstallAndTouchesNothing) {
    const std::vector<std::vector<std::string>> lines = {{"/install", "work"}, {"work", "/install"}};
    for (const auto& args : lines) {
        SCOPED_TRACE(args[0] + " " + args[1]);
        harness::writeFile(config(), "/v \r\n");
        for (const char* name : {"vux.bat", "vux.sh", "vux.fish", "vux.csh"})
            harness::writeFile(here(name), "old\n");
        auto r = install(args);
        EXPECT_EQ(r.code, 19);
        EXPECT_EQ(r.out, banner);
        EXPECT_EQ(r.err, "vux: No search key may be specified when installing\n");
        EXPECT_EQ(file(config()), "/v \r\n");
        for (const char* name : {"vux.bat", "vux.sh", "vux.fish", "vux.csh"}) {
            EXPECT_EQ(file(here(name)), "old\n") << name;
        }
    }
}

TEST_F(Install, PlainWordInConfigBlocksEveryInstall) {
    harness::writeFile(config(), "work \r\n");
    auto r = install({"/install"});
    EXPECT_EQ(r.code, 19);
    EXPECT_EQ(r.err, "vux: No search key may be specified when installing\n");
    EXPECT_EQ(file(config()), "work \r\n");
    EXPECT_FALSE(harness::fileExists(here("vux.bat")));
}

// The line after :DOS drops the last eight characters of the program path; a path of eight or
// fewer gives ".exe" alone or the whole path before it.
TEST_F(Install, ShortProgramPathsAfterDos) {
    struct Case {
        std::string hostRelative;  // below drive C
        std::string program;
        std::string shortProgram;
        std::string commandBatch;
    };
    const Case cases[] = {
        {"vu", "C:\\vu", "C:\\vu.exe", "C:\\dovux.bat"},
        {"T/vux", "C:\\T\\vux", ".exe", "C:\\T\\dovux.bat"},
        {"T/vuxx", "C:\\T\\vuxx", "C.exe", "C:\\T\\dovux.bat"},
    };
    harness::makeDirs(c("T"));
    for (const Case& test : cases) {
        SCOPED_TRACE(test.program);
        harness::copyFile(VUX_BINARY, c(test.hostRelative));
        auto r = harness::run({c(test.hostRelative), "/install", "/q"}, env, here(""));
        EXPECT_EQ(r.code, 127);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(file(here("vux.bat")), wrapperBatch(test.program, test.shortProgram, test.commandBatch));
    }
}

TEST_F(Install, DataFolderMovesConfigButNotCommandBatch) {
    harness::makeDirs(d("DATA"));
    env["VUXDATADIR"] = d("DATA");
    auto r = install({"/install", "/v"});
    EXPECT_EQ(r.code, 127);
    EXPECT_EQ(file(d("DATA/vux.cfg")), "/v \r\n");
    EXPECT_FALSE(harness::fileExists(config()));
    EXPECT_EQ(file(here("vux.bat")), toolsBatch);
}

TEST_F(Install, ConfigNotCreatedFailsBeforeAnyWrapper) {
    harness::makeDirs(config());
    auto r = install({"/install", "/v"});
    EXPECT_EQ(r.code, 20);
    EXPECT_EQ(r.out, banner);
    EXPECT_EQ(r.err, "vux: Can't create file vux.cfg\n");
    for (const char* name : {"vux.bat", "vux.sh", "vux.fish", "vux.csh"}) {
        EXPECT_FALSE(harness::fileExists(here(name))) << name;
    }
}

TEST_F(Install, WrapperBatchNotCreatedKeepsWrittenConfig) {
    harness::makeDirs(here("vux.bat"));
    auto r = install({"/install", "/v"});
    EXPECT_EQ(r.code, 8);
    EXPECT_EQ(r.out, banner + creatingConfig);
    EXPECT_EQ(r.err, "vux: Attempt to create \"vux.bat\" failed.\n");
    EXPECT_EQ(file(config()), "/v \r\n");
    EXPECT_FALSE(harness::fileExists(here("vux.sh")));
}

TEST_F(Install, ShellWrapperNotCreatedIsReportedByName) {
    harness::makeDirs(here("vux.fish"));
    auto r = install({"/install", "/v"});
    EXPECT_EQ(r.code, 8);
    EXPECT_EQ(r.out, banner + creatingConfig +
                         "vux: Creating new vux.bat in current working directory.\n"
                         "vux: Creating new vux.sh in current working directory.\n");
    EXPECT_EQ(r.err, "vux: Attempt to create \"vux.fish\" failed.\n");
    EXPECT_EQ(file(here("vux.bat")), toolsBatch);
}

// scripts/install.sh in a copy of the repository whose build is done (cmake and g++
// stand-ins do nothing): a relative folder is the caller's, the start-up lines it
// prints read a folder with a ' correctly, and running it again keeps the user's files.
TEST_F(Install, ScriptInstallsWhereAskedAndUpgradesKeepingTheUsersFiles) {
    std::string repo = root / "repo";
    harness::makeDirs(repo + "/scripts");
    harness::makeDirs(repo + "/build");
    harness::makeDirs(repo + "/doc");
    harness::makeDirs(root / "stubs");
    harness::copyFile(VUX_SOURCE_DIR "/scripts/install.sh", repo + "/scripts/install.sh");
    harness::copyFile(VUX_BINARY, repo + "/build/vux");
    harness::copyFile(VUX_SOURCE_DIR "/doc/vux.1", repo + "/doc/vux.1");
    for (const std::string stub : {"cmake", "g++"}) {
        harness::writeFile(root / "stubs/" + stub, "#!/bin/sh\n");
        chmod((root / "stubs/" + stub).c_str(), 0755);
    }
    env["PATH"] = root / "stubs:" + std::string(getenv("PATH"));
    env["HOME"] = root.path();
    const std::string folder = c("it's mine");
    const std::string startUp = ". '" + c("it") + "'\\''s mine/vux.sh'";
    const std::vector<std::pair<std::string, std::string>> kept = {{"vux.cfg", "/q \r\n"},
                                                                   {"home.vux", "C:\\A\r\n"},
                                                                   {"back.vux", "C:\\B\r\n"},
                                                                   {"dirtree.C", "C:\\A\r\n"}};
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round == 0 ? "install" : "upgrade");
        auto r = harness::run({"bash", repo + "/scripts/install.sh", "it's mine"}, env, c(""));
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_TRUE(harness::fileExists(folder + "/vux"));
        EXPECT_FALSE(harness::fileExists(repo + "/it's mine"));
        EXPECT_NE(r.out.find(startUp + "\n"), std::string::npos) << r.out;
        auto sourced =
            harness::run({"bash", "--norc", "-c", startUp + " && type vux >/dev/null"}, env, c(""));
        EXPECT_EQ(sourced.code, 0) << sourced.err;
        if (round == 0) {
            EXPECT_EQ(file(folder + "/vux.cfg"), "");
            for (const auto& [name, content] : kept) harness::writeFile(folder + "/" + name, content);
        } else {
            for (const auto& [name, content] : kept) EXPECT_EQ(file(folder + "/" + name), content) << name;
        }
    }
}

// A shared install: `cmake --install` into a folder that only root may write, then an
// ordinary user in bash: the first scan, jumps (from inside .git too), Tab, back and
// home, and two shells at once, each step a row. Nothing lands in the program folder.
TEST_F(Install, SharedInstallServesAnOrdinaryUser) {
    if (geteuid() != 0 || !harness::haveProgram("setpriv") || !harness::haveProgram("cmake") ||
        !harness::haveProgram("bash")) {
        GTEST_SKIP() << "needs root, setpriv, cmake and bash";
    }
    const std::string build = std::string(VUX_BINARY).substr(0, std::string(VUX_BINARY).rfind('/'));
    const std::string prefix = root / "opt";
    auto installed = harness::run({"cmake", "--install", build, "--prefix", prefix}, env, root.path());
    ASSERT_EQ(installed.code, 0) << installed.out << installed.err;
    for (const char* name : {"bin/vux", "share/man/man1/vux.1", "share/vux/vux.sh", "share/vux/vux.fish"}) {
        EXPECT_TRUE(harness::fileExists(prefix + "/" + name)) << name;
    }

    // The user's home is drive C; the program's folder lies on drive D.
    const std::string home = root / "home";
    for (const char* dir : {"proj/.git/refs", "proj/src", "other/src", "aaa", "bbb", ".run"}) {
        harness::makeDirs(home + "/" + dir);
    }
    chmod(root.path().c_str(), 0755);
    chmod((home + "/.run").c_str(), 0700);
    auto owned = harness::run({"chown", "-R", "65534:65534", home}, env, root.path());
    ASSERT_EQ(owned.code, 0) << owned.err;
    harness::Environment user{{"HOME", home},
                              {"PATH", "/usr/bin:/bin"},
                              {"VUXDRIVES", "C=" + home + ":D=" + prefix},
                              {"XDG_RUNTIME_DIR", home + "/.run"}};
    const std::string loop =
        "for i in 1 2 3 4 5 6 7 8 9 10; do vux /q $0 >/dev/null; [ \"${PWD##*/}\" = $0 ] || echo wrong; "
        "cd ..; done";
    struct Row {
        std::string command, shown;
    };
    const std::vector<Row> rows{
        {"cd proj/.git/refs && vux src >/dev/null; echo \"$? $PWD\"", "0 " + home + "/proj/src"},
        {"vux /q src; echo \"$? $PWD\"", "0 " + home + "/other/src"},
        {"vux /q /b; echo \"$? $PWD\"", "0 " + home + "/proj/src"},
        {"vux /q /define home \"$PWD\" && cd ~ && vux /q /h; echo \"$? $PWD\"", "0 " + home + "/proj/src"},
        {"COMP_LINE='vux oth'; COMP_POINT=7; COMP_WORDS=(vux oth); COMP_CWORD=1; _vux_complete vux oth vux; "
         "echo \"${COMPREPLY[*]}\"",
         "other"},
        {"cd ~ && (bash -c \". \\\"$VUXSH\\\"; $loop\" aaa & bash -c \". \\\"$VUXSH\\\"; $loop\" bbb & "
         "wait); "
         "echo done",
         "done"},
        {"ls -A '" + prefix + "/bin' && stat -c %a \"$XDG_RUNTIME_DIR/vux\"", "vux\n700"},
    };
    std::string script = ". \"$VUXSH\"\ncd ~\n", expected;
    for (const Row& row : rows) {
        script += row.command + "\n";
        expected += row.shown + "\n";
    }
    user["VUXSH"] = prefix + "/share/vux/vux.sh";
    user["loop"] = loop;
    auto r = harness::run(
        {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "bash", "--norc", "-c", script}, user,
        home);
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(harness::fileExists(home + "/.local/share/vux/dirtree.C"));
}
