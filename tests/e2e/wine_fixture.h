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

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "harness.h"

namespace wine {

inline const std::string loader = "/usr/lib/wine/wine64";
inline const std::string server = "/usr/lib/wine/wineserver";

inline bool isSymbolicLink(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// Wine's server and its service processes outlive cmd and may hold the output pipes;
// harness::run stops reading once the program itself has ended.
inline harness::RunResult run(const std::vector<std::string>& argv, const harness::Environment& env,
                              const std::string& cwd, int deadlineSeconds = 60) {
    return harness::run(argv, env, cwd, deadlineSeconds);
}

// The environment every Wine process gets: nothing from the host beyond what Wine
// itself needs, so no variable of the host (VUXDATADIR above all) leaks in.
inline harness::Environment baseEnvironment(const std::string& prefix) {
    harness::Environment env;
    env["WINEPREFIX"] = prefix;
    env["WINEDEBUG"] = "-all";
    // No downloads or install dialogs for the .NET and HTML engines.
    env["WINEDLLOVERRIDES"] = "mscoree,mshtml=";
    const char* home = std::getenv("HOME");
    env["HOME"] = home != nullptr ? home : "/root";
    env["PATH"] = "/usr/bin:/bin";
    env["LANG"] = "C.UTF-8";
    return env;
}

// The per-process prefix, made on first use. failure() is empty when it is usable.
class Prefix {
public:
    static Prefix& get() {
        static Prefix prefix;
        return prefix;
    }
    static bool started() { return instance() != nullptr; }

    const std::string& failure() const { return failure_; }
    const std::string& path() const { return path_; }
    harness::Environment environment() const { return baseEnvironment(path_); }

    // Points drive letter (lower case, "d") at a host folder.
    void mapDrive(const std::string& letter, const std::string& hostFolder) const {
        std::string link = path_ + "/dosdevices/" + letter + ":";
        unlink(link.c_str());
        if (symlink(hostFolder.c_str(), link.c_str()) != 0) ADD_FAILURE() << "can't map " << link;
    }

    // Ends the prefix's wineserver and removes the clone.
    static void shutDown() {
        Prefix* p = instance();
        if (p == nullptr || p->path_.empty()) return;
        run({server, "-k"}, p->environment(), "/");
        harness::removeAll(p->cloneRoot_);
        p->path_.clear();
    }

private:
    static Prefix*& instance() {
        static Prefix* p = nullptr;
        return p;
    }

    Prefix() {
        instance() = this;
        const char* tmp = std::getenv("TMPDIR");
        std::string base = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/vux-wine-" +
                           std::to_string(getuid());
        harness::makeDirs(base);
        std::string templatePath = base + "/template";
        if (!makeTemplate(base, templatePath)) return;
        clone(base, templatePath);
    }

    // Makes the template prefix once, under a lock so parallel test processes wait
    // for the first one.
    bool makeTemplate(const std::string& base, const std::string& templatePath) {
        int lock = open((base + "/lock").c_str(), O_CREAT | O_RDWR, 0600);
        if (lock < 0 || flock(lock, LOCK_EX) != 0) {
            failure_ = "can't lock " + base + "/lock";
            return false;
        }
        harness::RunResult version = run({loader, "--version"}, baseEnvironment(templatePath), "/");
        std::string marker = templatePath + "/.vux-ready";
        bool ready = harness::fileExists(marker) && harness::readFile(marker) == version.out;
        if (!ready) {
            harness::removeAll(templatePath);
            auto env = baseEnvironment(templatePath);
            harness::RunResult boot = run({loader, "wineboot", "-i"}, env, "/", 300);
            run({server, "-k"}, env, "/");
            if (!harness::isDirectory(templatePath + "/dosdevices")) {
                failure_ = "wineboot -i made no prefix in " + templatePath + ": " + boot.err;
            } else {
                harness::writeFile(marker, version.out);
            }
        }
        close(lock);  // releases the lock
        return failure_.empty();
    }

    // Hard links share the large, read-only system files; the files Wine rewrites
    // (the registry and the prefix's top-level state) are real copies.
    void clone(const std::string& base, const std::string& templatePath) {
        std::string pattern = base + "/run-XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        if (mkdtemp(buffer.data()) == nullptr) {
            failure_ = "mkdtemp failed under " + base;
            return;
        }
        cloneRoot_ = buffer.data();
        std::string target = cloneRoot_ + "/prefix";
        harness::RunResult copy = run({"/bin/cp", "-a", "-l", templatePath, target}, {}, "/");
        if (copy.code != 0) {
            failure_ = "can't clone the Wine prefix: " + copy.err;
            return;
        }
        for (const std::string& name : harness::listNames(target)) {
            std::string file = target + "/" + name;
            if (harness::isDirectory(file) || isSymbolicLink(file)) continue;
            std::string content = harness::readFile(file);
            unlink(file.c_str());
            harness::writeFile(file, content);
        }
        for (const std::string& name : harness::listNames(target + "/dosdevices")) {
            if (name != "c:") unlink((target + "/dosdevices/" + name).c_str());
        }
        path_ = target;
        // One server for all cases, ended by shutDown; after a crashed run it ends
        // itself once idle.
        run({server, "-p30"}, environment(), "/");
    }

    std::string failure_;
    std::string cloneRoot_;
    std::string path_;
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
    }

    // Host path of a folder or file on drive D or E ("" for the root).
    std::string d(const std::string& relative) const { return under("d", relative); }
    std::string e(const std::string& relative) const { return under("e", relative); }

    // Runs the lines as a batch file in Wine's cmd.exe, echo off from the start.
    harness::RunResult cmd(const std::vector<std::string>& lines) {
        std::string text = "@echo off\r\n";
        for (const std::string& line : lines) text += line + "\r\n";
        harness::writeFile(root / "x/run.bat", text);
        return wine::run({wine::loader, "cmd", "/q", "/c", "X:\\run.bat"}, wine::Prefix::get().environment(),
                         root / "x");
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
