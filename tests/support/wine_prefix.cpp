// The Wine prefix behind the Wine fixture: a template made once per user, a
// hard-linked clone per test process, one wineserver kept alive between cases.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "wine_fixture.h"

namespace wine {

const std::string loader = "/usr/lib/wine/wine64";
const std::string server = "/usr/lib/wine/wineserver";

namespace {

// A fresh prefix takes Wine 20 to 60 seconds to make on two cores.
constexpr int bootSeconds = 110;

}  // namespace

bool isSymbolicLink(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

harness::RunResult run(const std::vector<std::string>& argv, const harness::Environment& env,
                       const std::string& cwd, int deadlineSeconds) {
    return harness::run(argv, env, cwd, deadlineSeconds);
}

harness::Environment baseEnvironment(const std::string& prefix) {
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

Prefix& Prefix::get() {
    static Prefix prefix;
    return prefix;
}

Prefix*& Prefix::instance() {
    static Prefix* p = nullptr;
    return p;
}

void Prefix::mapDrive(const std::string& letter, const std::string& hostFolder) const {
    std::string link = path_ + "/dosdevices/" + letter + ":";
    unlink(link.c_str());
    if (symlink(hostFolder.c_str(), link.c_str()) != 0) ADD_FAILURE() << "can't map " << link;
}

void Prefix::shutDown() {
    Prefix* p = instance();
    if (p == nullptr || p->path_.empty()) return;
    run({server, "-k"}, p->environment(), "/");
    harness::removeAll(p->cloneRoot_);
    p->path_.clear();
}

Prefix::Prefix() {
    instance() = this;
    // VUX_WINE_BASE names a folder of this run's own (CI makes a fresh one, so the
    // template is made anew every time); otherwise the template is kept per user.
    const char* given = std::getenv("VUX_WINE_BASE");
    const char* tmp = std::getenv("TMPDIR");
    std::string base = given != nullptr && *given != '\0'
                           ? std::string(given)
                           : std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/vux-wine-" +
                                 std::to_string(getuid());
    harness::makeDirs(base);
    std::string templatePath = base + "/template";
    if (!makeTemplate(base, templatePath)) return;
    clone(base, templatePath);
}

// Takes the lock within the time a template takes to make, so a holder that never
// lets go fails the test instead of hanging it.
static bool lockWithin(int fd, int seconds) {
    for (int tries = seconds * 10; tries > 0; --tries) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
        usleep(100 * 1000);
    }
    return false;
}

// Makes the template prefix once, under a lock so parallel test processes wait
// for the first one. The lock is close-on-exec: wineboot leaves Wine's services
// running, and one that inherited it would hold it for every later test.
bool Prefix::makeTemplate(const std::string& base, const std::string& templatePath) {
    int lock = open((base + "/lock").c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0600);
    if (lock < 0 || !lockWithin(lock, bootSeconds + 20)) {
        failure_ = "can't lock " + base + "/lock within " + std::to_string(bootSeconds + 20) +
                   " s (another process holds it; remove " + base + " to start afresh)";
        if (lock >= 0) close(lock);
        return false;
    }
    harness::RunResult version = run({loader, "--version"}, baseEnvironment(templatePath), "/");
    std::string marker = templatePath + "/.vux-ready";
    bool ready = harness::fileExists(marker) && harness::readFile(marker) == version.out;
    if (!ready) {
        harness::removeAll(templatePath);
        auto env = baseEnvironment(templatePath);
        harness::RunResult boot = run({loader, "wineboot", "-i"}, env, "/", bootSeconds);
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
void Prefix::clone(const std::string& base, const std::string& templatePath) {
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

// The first program in a prefix starts Wine's services, and they keep its standard
// streams. Starting them on /dev/null keeps a service's own crash report (seen from
// a device driver host on a fresh machine) out of the output of the program under
// test. The drive manager among them reads the drive links as they are then, so
// this comes after the drives are mapped.
void Prefix::startServices() {
    if (servicesStarted_) return;
    servicesStarted_ = true;
    run({"/bin/sh", "-c", "exec \"$0\" cmd /c exit </dev/null >/dev/null 2>&1", loader}, environment(), "/");
}

}  // namespace wine

namespace {

// Every Wine test program ends the wineservers of its prefixes when it is done.
::testing::Environment* const serverShutDown = ::testing::AddGlobalTestEnvironment(new wine::ServerShutDown);

}  // namespace
