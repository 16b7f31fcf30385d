// The temporary drive and the input helpers of the fuzz targets.
#include "fuzz_support.h"

#include <fcntl.h>
#include <sanitizer/allocator_interface.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"

namespace fuzz {

void silenceStandardOutput() {
    int null = ::open("/dev/null", O_WRONLY);
    if (null >= 0) {
        ::dup2(null, 1);
        ::close(null);
    }
}

namespace {

std::string drivePath;

}  // namespace

const std::string& makeTemporaryDrive() {
    if (!drivePath.empty()) return drivePath;
    char pattern[] = "/tmp/vux-fuzz-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    drivePath = pattern;
    std::string drives = "C=" + drivePath;
    ::setenv("VUXDRIVES", drives.c_str(), 1);
    ::unsetenv("VUXDATADIR");
    returnToTemporaryDrive();
    return drivePath;
}

void returnToTemporaryDrive() {
    if (::chdir(drivePath.c_str()) != 0 || platform::start() != platform::StartProblem::none) {
        std::fprintf(stderr, "can't stand in the temporary drive %s\n", drivePath.c_str());
        std::abort();
    }
}

std::vector<std::string> split(const std::uint8_t* data, std::size_t size, char separator) {
    std::vector<std::string> pieces(1);
    for (std::size_t i = 0; i < size; ++i) {
        char c = static_cast<char>(data[i]);
        if (c == separator) {
            pieces.emplace_back();
        } else {
            pieces.back() += c;
        }
    }
    return pieces;
}

namespace {

// Filled from the allocator's hooks, which may not allocate themselves.
constexpr std::size_t watchedMaximum = 4096;
const volatile void* watched[watchedMaximum];
std::size_t watchedCount = 0;
bool watching = false;

void onAllocate(const volatile void* block, std::size_t) {
    if (watching && watchedCount < watchedMaximum) watched[watchedCount++] = block;
}

void onFree(const volatile void* block) {
    if (!watching) return;
    for (std::size_t i = 0; i < watchedCount; ++i) {
        if (watched[i] == block) {
            watched[i] = watched[--watchedCount];
            return;
        }
    }
}

}  // namespace

void HeapWatch::watch() {
    static bool installed = __sanitizer_install_malloc_and_free_hooks(onAllocate, onFree) != 0;
    if (!installed) std::abort();
    watchedCount = 0;
    watching = true;
}

void HeapWatch::collect(bool (*keep)(const void* block)) {
    watching = false;
    for (std::size_t i = 0; i < watchedCount; ++i) {
        void* block = const_cast<void*>(watched[i]);
        if (!keep(block)) std::free(block);
    }
    watchedCount = 0;
}

void writeHostFile(const std::string& path, const std::string& content) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::perror(path.c_str());
        std::abort();
    }
    std::fwrite(content.data(), 1, content.size(), file);
    std::fclose(file);
}

}  // namespace fuzz

// A fatal error ends the real program with exit(), which leaves the parser's joined
// text and the message's display form to the system. Thrown here instead, they
// stay allocated until HeapWatch collects them; the report at the process's own
// exit would only list what a target still holds, so it is off.
extern "C" const char* __asan_default_options() { return "detect_leaks=0"; }
