// Helpers for end-to-end tests: temporary folders, files byte for byte, and runs
// of a program with an explicit environment and working directory.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace harness {

// A fresh folder under the system's temporary folder, removed with everything in
// it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

private:
    std::string path_;
};

struct RunResult {
    int code = -1;  // exit code, or 128 + signal
    std::string out;
    std::string err;
};

using Environment = std::map<std::string, std::string>;

// Runs argv[0] (a path, or a name looked up in PATH) in cwd with exactly env (PATH
// added from this process when env has none), standard input empty. Output is read
// until the program ends; one still running at the deadline is killed (code 137).
RunResult run(const std::vector<std::string>& argv, const Environment& env, const std::string& cwd,
              int deadlineSeconds = 120);

// A run that failed: it ended with the code and wrote exactly "vux: " + line and a
// line end on standard error, or nothing there when line is empty.
void expectFails(const RunResult& result, int code, const std::string& line);

std::string readFile(const std::string& path);
bool fileExists(const std::string& path);
bool isDirectory(const std::string& path);
void writeFile(const std::string& path, const std::string& content);
// Creates the folder and every missing parent.
void makeDirs(const std::string& path);
void copyFile(const std::string& from, const std::string& to);
// Removes a file or a whole folder; no error when it is missing.
void removeAll(const std::string& path);
// The names in a folder, in the order the host lists them (files and folders).
std::vector<std::string> listNames(const std::string& path);
// Whether a program can be found in PATH.
bool haveProgram(const std::string& name);
// Text with every "\n" made "\r\n".
std::string crlf(const std::string& text);

}  // namespace harness
