// A fixture for runs of vux.exe under Wine, driven by Wine's own cmd.exe.
//
// A Wine prefix takes seconds to make, so one is made once per user and kept as a
// template under the temporary folder; every test process works in its own
// hard-linked clone of it (so parallel test processes never share drive letters),
// with one wineserver kept alive between its cases and ended when the process ends.
// Each test maps fresh temporary folders as drives D: and E:, with vux.exe copied to
// D:\TOOLS, and a third folder as X: for the batch files that drive the runs, so
// that those never show up in a scan.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "harness.h"

namespace wine {

extern const std::string loader;
extern const std::string server;

bool isSymbolicLink(const std::string& path);

// Wine's server and its service processes outlive cmd and may hold the output pipes;
// harness::run stops reading once the program itself has ended.
harness::RunResult run(const std::vector<std::string>& argv, const harness::Environment& env,
                       const std::string& cwd, int deadlineSeconds = 60);

// The environment every Wine process gets: nothing from the host beyond what Wine
// itself needs, so no variable of the host (VUXDATADIR above all) leaks in.
harness::Environment baseEnvironment(const std::string& prefix);

// The per-process prefix, made on first use. failure() is empty when it is usable.
class Prefix {
public:
    static Prefix& get();
    static bool started() { return instance() != nullptr; }

    const std::string& failure() const { return failure_; }
    const std::string& path() const { return path_; }
    harness::Environment environment() const { return baseEnvironment(path_); }

    // Points drive letter (lower case, "d") at a host folder.
    void mapDrive(const std::string& letter, const std::string& hostFolder) const;

    // Starts Wine's services once per process, their output discarded.
    void startServices();

    // Ends the prefix's wineserver and removes the clone.
    static void shutDown();

private:
    static Prefix*& instance();

    Prefix();
    bool makeTemplate(const std::string& base, const std::string& templatePath);
    void clone(const std::string& base, const std::string& templatePath);

    std::string failure_;
    std::string cloneRoot_;
    std::string path_;
    bool servicesStarted_ = false;
};

// Ends the wineserver once every case has run, if any case started one.
class ServerShutDown : public ::testing::Environment {
public:
    void TearDown() override {
        if (Prefix::started()) Prefix::shutDown();
    }
};

}  // namespace wine

// Drives D: and E: on fresh folders, vux.exe at D:\TOOLS\vux.exe, D:\WORK present,
// batch files for cmd.exe on X:.
class WineShell : public ::testing::Test {
protected:
    // What Wine's cmd.exe prints when it can't start a program.
    static constexpr const char* wineStartFailure =
        "Application could not be started, or no application associated with the specified file.";

    void SetUp() override {
        if (!harness::fileExists(wine::loader)) {
            GTEST_SKIP() << "Wine's loader " << wine::loader << " is missing: install the wine64 package";
        }
        if (!harness::fileExists(VUX_WINDOWS_BINARY)) {
            GTEST_SKIP() << VUX_WINDOWS_BINARY << " is missing: cross-build it with "
                         << "cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake "
                         << "&& cmake --build build-win";
        }
        wine::Prefix& prefix = wine::Prefix::get();
        ASSERT_EQ(prefix.failure(), "") << "the Wine prefix can't be set up";
        harness::makeDirs(d("TOOLS"));
        harness::makeDirs(d("WORK"));
        harness::makeDirs(e(""));
        harness::makeDirs(root / "x");
        harness::copyFile(VUX_WINDOWS_BINARY, d("TOOLS/vux.exe"));
        prefix.mapDrive("d", d(""));
        prefix.mapDrive("e", e(""));
        prefix.mapDrive("x", root / "x");
        prefix.startServices();
    }

    // Host path of a folder or file on drive D or E ("" for the root).
    std::string d(const std::string& relative) const { return under("d", relative); }
    std::string e(const std::string& relative) const { return under("e", relative); }

    // Runs the lines as a batch file in Wine's cmd.exe, echo off from the start.
    // On a loaded machine Wine now and then fails to start a process at all: cmd.exe
    // never reaches the batch (exit code 1, nothing printed), or cmd.exe can't start
    // the batch's first program. Either way nothing of the batch has run, so it runs
    // again, at most twice, and says so on standard error.
    harness::RunResult cmd(const std::vector<std::string>& lines) {
        const std::string begun = root / "x/begun";
        std::string text = "@echo off\r\ntype nul >X:\\begun\r\n";
        for (const std::string& line : lines) text += line + "\r\n";
        harness::writeFile(root / "x/run.bat", text);
        harness::RunResult r;
        for (int attempt = 1; attempt <= 3; ++attempt) {
            unlink(begun.c_str());
            r = wine::run({wine::loader, "cmd", "/q", "/c", "X:\\run.bat"}, wine::Prefix::get().environment(),
                          root / "x");
            const char* failure = !harness::fileExists(begun) ? "cmd.exe never ran the batch"
                                  : r.out.rfind(wineStartFailure, 0) == 0 ? "the batch's first program never started"
                                                                           : nullptr;
            if (failure == nullptr) break;
            std::fprintf(stderr, "wine: %s (exit code %d)%s\n", failure, r.code,
                         attempt < 3 ? "; running it again" : "");
        }
        return r;
    }

    // Runs D:\TOOLS\vux.exe with the argument text from the shell standing in dir,
    // after the set-up lines; the exit code is the errorlevel cmd.exe saw.
    harness::RunResult vux(const std::string& arguments, const std::string& dir = "D:\\WORK",
                           const std::vector<std::string>& setUp = {}) {
        std::vector<std::string> lines = setUp;
        lines.push_back(dir.substr(0, 2));
        lines.push_back("cd " + dir);
        lines.push_back("D:\\TOOLS\\vux.exe" + (arguments.empty() ? "" : " " + arguments));
        lines.push_back("exit /b %errorlevel%");
        return cmd(lines);
    }

    std::string file(const std::string& hostPath) const { return harness::readFile(hostPath); }

    harness::TempDir root;

private:
    std::string under(const std::string& drive, const std::string& relative) const {
        return relative.empty() ? root / drive : root / (drive + "/" + relative);
    }
};

// The banner that normal verbosity prints first, as a console program writes it.
inline const std::string wineBanner = harness::crlf(
    "vux 1.0.0, the quick directory changer\n"
    "Copyright (c) 2026 the vux developers; free to use and share.\n");

// The lines of text without their CR LF ends.
inline std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::stringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

inline std::string joinCrlf(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

inline std::string hostToDrive(const std::string& relative) {
    std::string path = relative;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

// A hand-written wrapper: run the tool, then the command batch in the same shell.
// vux.cfg holds /q, so only what the shell prints (and errors) shows.
class WineWrapper : public WineShell {
protected:
    void SetUp() override {
        WineShell::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        harness::writeFile(d("TOOLS/v.bat"), "D:\\TOOLS\\vux.exe %1\r\ncall D:\\TOOLS\\dovux.bat\r\n");
        harness::writeFile(d("TOOLS/vux.cfg"), "/q\r\n");
    }

    // Shell lines that run the wrapper with key and then print where the shell stands.
    static std::vector<std::string> go(const std::string& key) {
        return {"call D:\\TOOLS\\v.bat " + key, "cd"};
    }

    static std::vector<std::string> from(const std::string& dir,
                                         std::vector<std::vector<std::string>> steps) {
        std::vector<std::string> lines{dir.substr(0, 2), "cd " + dir};
        for (const auto& step : steps) lines.insert(lines.end(), step.begin(), step.end());
        return lines;
    }
};
