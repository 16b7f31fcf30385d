// Temporary folders, files and child processes for the end-to-end tests.
#include "harness.h"

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace harness {

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/vux-test-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    // The host's own spelling, symbolic links resolved, as a working directory reads.
    char* real = realpath(buffer.data(), nullptr);
    path_ = real != nullptr ? real : buffer.data();
    std::free(real);
}

TempDir::~TempDir() { removeAll(path_); }

void expectFails(const RunResult& result, int code, const std::string& line) {
    EXPECT_EQ(result.code, code) << line;
    EXPECT_EQ(result.err, line.empty() ? "" : "vux: " + line + "\n");
}

RunResult run(const std::vector<std::string>& argv, const Environment& env, const std::string& cwd,
              int deadlineSeconds) {
    int outPipe[2], errPipe[2];
    // Close-on-exec everywhere: a descriptor a child inherits by accident (Wine's
    // services live on) can hold a pipe or a lock for good.
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0) throw std::runtime_error("pipe failed");
    for (int fd : {outPipe[0], outPipe[1], errPipe[0], errPipe[1]}) fcntl(fd, F_SETFD, FD_CLOEXEC);
    std::vector<std::string> envText;
    bool hasPath = false;
    for (const auto& [name, value] : env) {
        envText.push_back(name + "=" + value);
        hasPath = hasPath || name == "PATH";
    }
    // Sanitizer settings reach the program under test too.
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && env.count(name) == 0) envText.push_back(std::string(name) + "=" + value);
    }
    if (!hasPath) {
        const char* path = std::getenv("PATH");
        envText.push_back(std::string("PATH=") + (path != nullptr ? path : "/usr/bin:/bin"));
    }
    std::vector<char*> envp;
    for (auto& entry : envText) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = argv;
    std::vector<char*> argp;
    for (auto& arg : args) argp.push_back(arg.data());
    argp.push_back(nullptr);

    pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
        dup2(null, 0);
        dup2(outPipe[1], 1);
        dup2(errPipe[1], 2);
        if (chdir(cwd.c_str()) != 0) _exit(126);
        if (argv[0].find('/') != std::string::npos) {
            execve(argp[0], argp.data(), envp.data());
        } else {
            environ = envp.data();
            execvp(argp[0], argp.data());
        }
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    fcntl(outPipe[0], F_SETFL, O_NONBLOCK);
    fcntl(errPipe[0], F_SETFL, O_NONBLOCK);
    RunResult result;
    auto readAvailable = [&] {
        char buffer[65536];
        for (int i = 0; i < 2; ++i) {
            int fd = i == 0 ? outPipe[0] : errPipe[0];
            ssize_t n;
            while ((n = read(fd, buffer, sizeof buffer)) > 0) {
                (i == 0 ? result.out : result.err).append(buffer, static_cast<std::size_t>(n));
            }
        }
    };
    // Reading stops once the program itself has ended: processes it leaves running
    // (Wine's server, say) may hold the pipes open for good.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(deadlineSeconds);
    int status = 0;
    while (true) {
        pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
        poll(fds, 2, 20);
        readAvailable();
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) break;
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
    }
    readAvailable();  // what the program wrote just before it ended
    close(outPipe[0]);
    close(errPipe[0]);
    result.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "<missing " + path + ">";
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool fileExists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

bool isDirectory(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out) throw std::runtime_error("can't write " + path);
}

void makeDirs(const std::string& path) {
    std::string partial;
    std::stringstream parts(path);
    std::string part;
    if (!path.empty() && path[0] == '/') partial = "";
    while (std::getline(parts, part, '/')) {
        if (part.empty()) continue;
        partial += "/" + part;
        if (path[0] != '/' && partial[0] == '/') partial.erase(0, 1);
        mkdir(partial.c_str(), 0777);
    }
    if (!isDirectory(path)) throw std::runtime_error("can't make " + path);
}

void copyFile(const std::string& from, const std::string& to) {
    writeFile(to, readFile(from));
    chmod(to.c_str(), 0755);
}

void removeAll(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return;
    if (S_ISDIR(st.st_mode)) {
        chmod(path.c_str(), 0700);
        for (const std::string& name : listNames(path)) removeAll(path + "/" + name);
        rmdir(path.c_str());
    } else {
        unlink(path.c_str());
    }
}

std::vector<std::string> listNames(const std::string& path) {
    std::vector<std::string> names;
    DIR* dir = opendir(path.c_str());
    if (dir == nullptr) return names;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
    return names;
}

bool haveProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path != nullptr ? path : "");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        if (!dir.empty() && access((dir + "/" + name).c_str(), X_OK) == 0) return true;
    }
    return false;
}

std::string crlf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

}  // namespace harness
