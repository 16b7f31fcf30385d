// A fixture for runs of the native program: drives C and D mapped to fresh
// temporary folders, the program copied to C:\TOOLS\vux, nothing else in the
// environment unless a test adds it.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <string>
#include <vector>

#include "harness.h"

class NativeDrives : public ::testing::Test {
protected:
    NativeDrives() {
        harness::makeDirs(c("TOOLS"));
        harness::makeDirs(d(""));
        harness::copyFile(VUX_BINARY, program());
        env["VUXDRIVES"] = "C=" + c("") + ":D=" + d("");
    }

    // Host path of a folder or file on drive C or D ("" for the root).
    std::string c(const std::string& relative) const { return under("c", relative); }
    std::string d(const std::string& relative) const { return under("d", relative); }
    std::string program() const { return c("TOOLS/vux"); }
    std::string tools(const std::string& name) const { return c("TOOLS/" + name); }

    // Runs the program by its host path from a host folder.
    harness::RunResult vux(const std::vector<std::string>& args, const std::string& cwd) {
        std::vector<std::string> argv{program()};
        argv.insert(argv.end(), args.begin(), args.end());
        return harness::run(argv, env, cwd);
    }

    std::string file(const std::string& path) const { return harness::readFile(path); }

    // No scan's temporary tree file is left in the folder.
    void expectNoTemporaryTree(const std::string& folder) {
        for (const std::string& name : harness::listNames(folder)) {
            EXPECT_EQ(name.find(".new"), std::string::npos) << "left behind: " << name;
        }
    }

    // The tree file a scan must write for a host folder, in the host's listing order:
    // folders only; dot-names, links, names holding "\\", CR or LF, and paths past 259
    // characters left out with what lies below them.
    std::string expectedTree(const std::string& hostRoot = "", const std::string& driveRoot = "C:") const {
        std::string out;
        std::function<void(const std::string&, const std::string&)> walk = [&](const std::string& host,
                                                                               const std::string& drive) {
            for (const std::string& name : harness::listNames(host)) {
                struct stat st;
                std::string child = host + "/" + name;
                if (name[0] == '.' || name.find_first_of("\\\r\n") != std::string::npos ||
                    lstat(child.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
                    drive.size() + 1 + name.size() > 259) {
                    continue;
                }
                out += drive + "\\" + name + "\r\n";
                walk(child, drive + "\\" + name);
            }
        };
        walk(hostRoot.empty() ? c("") : hostRoot, driveRoot);
        return out;
    }

    harness::TempDir root;
    harness::Environment env;

private:
    std::string under(const std::string& drive, const std::string& relative) const {
        return relative.empty() ? root / drive : root / (drive + "/" + relative);
    }
};

// The banner that normal verbosity prints first.
inline const std::string banner =
    "vux 1.0.0, the quick directory changer\n"
    "Copyright (c) 2026 the vux developers; free to use and share.\n";
