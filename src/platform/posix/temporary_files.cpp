// Files written whole by replacement: a temporary file beside the target, renamed
// over it, and removed again if a signal ends the run while it exists.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platform/posix/drives.h"
#include "platform/posix/host_files.h"

namespace platform {

using posix::hostPathOf;

int replaceWholeFile(const char* path, const char* data, std::size_t size) {
    std::string host;
    return hostPathOf(path, host) && posix::replaceHostFile(host, std::string(data, size)) ? 0 : -1;
}

namespace {

// The host paths of the guarded files; the handler may only make async-signal-safe calls.
char guardedPaths[2][4096];
volatile sig_atomic_t guarded = 0;  // how many of guardedPaths are in force
const int guardedSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

void removeGuardedAndDie(int signal) {
    for (int i = 0; i < guarded; ++i) ::unlink(guardedPaths[i]);
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

// False when it can't be guarded: two are already, or the path doesn't fit.
bool guardHostFile(const std::string& host) {
    if (guarded >= 2 || host.size() >= sizeof guardedPaths[0]) return false;
    std::memcpy(guardedPaths[guarded], host.c_str(), host.size() + 1);
    guarded = guarded + 1;
    struct sigaction action {};
    action.sa_handler = removeGuardedAndDie;
    sigemptyset(&action.sa_mask);
    for (int signal : guardedSignals) ::sigaction(signal, &action, nullptr);
    return true;
}

// Releases the file guarded last, leaving any guarded before it (a scan's) in force.
void releaseLastGuarded() {
    if (guarded > 0) guarded = guarded - 1;
    if (guarded == 0) {
        for (int signal : guardedSignals) ::signal(signal, SIG_DFL);
    }
}

}  // namespace

void guardTemporaryFile(const char* path) {
    std::string host;
    if (hostPathOf(path, host)) guardHostFile(host);
}

void releaseTemporaryFile() {
    guarded = 0;
    for (int signal : guardedSignals) ::signal(signal, SIG_DFL);
}

namespace posix {

bool replaceHostFile(const std::string& host, const std::string& content) {
    std::string temporary = host + "." + std::to_string(processId()) + ".new";
    bool guarding = guardHostFile(temporary);
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    bool ok = fd >= 0 && writeAll(fd, content.data(), content.size());
    if (fd >= 0 && ::close(fd) != 0) ok = false;
    if (ok) ok = ::rename(temporary.c_str(), host.c_str()) == 0;
    if (!ok && fd >= 0) ::unlink(temporary.c_str());
    if (guarding) releaseLastGuarded();
    return ok;
}

}  // namespace posix

}  // namespace platform
