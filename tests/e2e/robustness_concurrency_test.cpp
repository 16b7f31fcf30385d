// Runs that overlap or end early: scans of one drive at once, searches while a
// scan replaces the tree file, folders that come and go under a scan, and scans
// killed at random moments. The tree file is always a whole tree file.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "native_fixture.h"

namespace {

class RobustConcurrency : public NativeDrives {
protected:
    RobustConcurrency() {
        for (const char* dir : {"WORK", "DEEP/TARGET", "DEEP/OTHER", "SCANNER"}) harness::makeDirs(c(dir));
        // A second copy of the program scans, so its command batch (emptied at every
        // start) lies apart from the searches'; both share the data directory.
        harness::copyFile(VUX_BINARY, c("SCANNER/vux"));
        env["VUXDATADIR"] = "C:\\TOOLS";
    }

    // Starts the program at host path program in cwd, output discarded.
    pid_t start(const std::string& programPath, const std::vector<std::string>& args,
                const std::string& cwd) {
        std::vector<std::string> text;
        for (const auto& [name, value] : env) text.push_back(name + "=" + value);
        std::vector<char*> envp;
        for (auto& entry : text) envp.push_back(entry.data());
        envp.push_back(nullptr);
        std::vector<std::string> argvText{programPath};
        argvText.insert(argvText.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& arg : argvText) argv.push_back(arg.data());
        argv.push_back(nullptr);
        pid_t pid = fork();
        if (pid == 0) {
            int null = open("/dev/null", O_RDWR | O_CLOEXEC);
            dup2(null, 0);
            dup2(null, 1);
            dup2(null, 2);
            if (chdir(cwd.c_str()) != 0) _exit(126);
            execve(argv[0], argv.data(), envp.data());
            _exit(127);
        }
        return pid;
    }

    // The exit code, or 128 + the signal that ended the process.
    static int finish(pid_t pid) {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    pid_t startScan() { return start(c("SCANNER/vux"), {"/q", "/r"}, c("")); }

    // The temporary tree files in the data directory.
    std::vector<std::string> temporaryTrees() {
        std::vector<std::string> found;
        for (const std::string& name : harness::listNames(c("TOOLS"))) {
            if (name.find(".new") != std::string::npos) found.push_back(name);
        }
        return found;
    }

    std::string tree() { return file(tools("dirtree.C")); }
};

}  // namespace

TEST_F(RobustConcurrency, TwoScansOfOneDriveAtOnce) {
    for (int i = 0; i < 30; ++i) harness::makeDirs(c("MANY/" + std::to_string(i) + "/sub"));
    const std::string expected = expectedTree();
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE(round);
        pid_t first = startScan();
        pid_t second = startScan();
        ASSERT_EQ(finish(first), 127);
        ASSERT_EQ(finish(second), 127);
        ASSERT_EQ(tree(), expected);
        ASSERT_TRUE(temporaryTrees().empty());
    }
}

TEST_F(RobustConcurrency, SearchWhileAScanReplacesTheTreeFile) {
    for (int i = 0; i < 30; ++i) harness::makeDirs(c("MANY/" + std::to_string(i) + "/sub"));
    const std::string expected = expectedTree();
    harness::writeFile(tools("dirtree.C"), expected);
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE(round);
        pid_t scan = startScan();
        auto r = vux({"/q", "target"}, c("WORK"));
        ASSERT_EQ(r.code, 0) << r.err;
        ASSERT_EQ(r.out, "");  // never found a half-written file and rescanned
        ASSERT_EQ(file(tools("dovux.bat")), "C:\r\ncd C:\\DEEP\\TARGET\r\n");
        ASSERT_EQ(finish(scan), 127);
        ASSERT_EQ(tree(), expected);
    }
    EXPECT_TRUE(temporaryTrees().empty());
}

TEST_F(RobustConcurrency, FoldersComingAndGoingUnderAScan) {
    // A folder that vanishes between its listing and its entry keeps its line or
    // loses it, never the rest of the tree: each scan writes whole lines only, and
    // every line names a folder that existed at some moment.
    std::set<std::string> possible;
    std::stringstream lines(expectedTree());
    for (std::string line; std::getline(lines, line);) possible.insert(line + "\n");
    for (const char* churn : {"C:\\CHURN", "C:\\CHURN\\a", "C:\\CHURN\\a\\b", "C:\\CHURN\\c"}) {
        possible.insert(std::string(churn) + "\r\n");
    }
    pid_t churner = fork();
    if (churner == 0) {
        std::string top = c("CHURN");
        while (true) {
            mkdir(top.c_str(), 0777);
            mkdir((top + "/a").c_str(), 0777);
            mkdir((top + "/a/b").c_str(), 0777);
            mkdir((top + "/c").c_str(), 0777);
            rmdir((top + "/a/b").c_str());
            rmdir((top + "/a").c_str());
            rmdir((top + "/c").c_str());
            rmdir(top.c_str());
        }
    }
    ASSERT_GT(churner, 0);
    for (int round = 0; round < 150; ++round) {
        SCOPED_TRACE(round);
        auto r = harness::run({c("SCANNER/vux"), "/q", "/r"}, env, c(""));
        if (r.code != 127) ADD_FAILURE() << r.err;
        std::stringstream written(tree());
        for (std::string line; std::getline(written, line);) {
            if (possible.count(line + "\n") == 0) ADD_FAILURE() << "unexpected line " << line;
        }
        if (::testing::Test::HasFailure()) break;
    }
    kill(churner, SIGKILL);
    finish(churner);
}

TEST_F(RobustConcurrency, ScansKilledAtRandomMoments) {
    for (int i = 0; i < 40; ++i) {
        for (int j = 0; j < 40; ++j)
            harness::makeDirs(c("BIG/" + std::to_string(i) + "/" + std::to_string(j)));
    }
    const std::string expected = expectedTree();
    const std::string previous = "C:\\PREVIOUS\r\nC:\\PREVIOUS\\TREE\r\n";

    // How long one whole scan takes here, so the kills spread over its life.
    auto begin = std::chrono::steady_clock::now();
    for (int i = 0; i < 3; ++i) ASSERT_EQ(finish(startScan()), 127);
    auto whole =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - begin) / 3;
    std::mt19937 random(20260);
    std::uniform_int_distribution<long> moment(0, whole.count() * 5 / 4);

    for (int signal : {SIGKILL, SIGTERM, SIGINT}) {
        int staleLeft = 0;
        int killedBeforeReplacing = 0;
        for (int round = 0; round < 100; ++round) {
            SCOPED_TRACE(std::to_string(signal) + " round " + std::to_string(round));
            harness::writeFile(tools("dirtree.C"), previous);
            pid_t scan = startScan();
            usleep(static_cast<useconds_t>(moment(random)));
            kill(scan, signal);
            int code = finish(scan);
            ASSERT_TRUE(code == 127 || code == 128 + signal) << code;
            std::string now = tree();
            ASSERT_TRUE(now == previous || now == expected) << now.substr(0, 200);
            if (now == previous) ++killedBeforeReplacing;
            std::vector<std::string> stale = temporaryTrees();
            if (signal == SIGKILL) {
                // Nothing can clean up after SIGKILL; the next scan names its own file.
                staleLeft += static_cast<int>(stale.size());
                for (const std::string& name : stale) harness::removeAll(tools(name));
            } else {
                ASSERT_TRUE(stale.empty()) << stale.front();
            }
        }
        std::printf("signal %d: %d of 100 scans ended before replacing the tree file, %d stale files\n",
                    signal, killedBeforeReplacing, staleLeft);
        if (signal == SIGKILL) {
            EXPECT_GT(staleLeft, 0) << "no kill landed inside a scan";
        }
    }
}
