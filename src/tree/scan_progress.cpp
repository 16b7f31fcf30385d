// The scan's line, with its running count on a terminal.
#include "tree/scan_progress.h"

#include <cstdio>

#include "driver/output.h"
#include "driver/run_state.h"
#include "platform/platform.h"

namespace vux {

namespace {

const char rescanning[] = "vux: Rescanning directory structure.";
constexpr int countWidth = 20;

}  // namespace

void ScanProgress::begin() {
    if (verbosityLevel != verbosityNormal) return;
    onTerminal_ = platform::standardOutputIsTerminal();
    char line[sizeof rescanning + 1];
    std::snprintf(line, sizeof line, onTerminal_ ? "%s" : "%s\n", rescanning);
    writeText(standardOutput, line);
    if (!onTerminal_) return;
    nextShow_ = Clock::now() + std::chrono::milliseconds(500);
}

void ScanProgress::end() {
    if (!onTerminal_) return;
    onTerminal_ = false;
    char line[sizeof rescanning + 2 * countWidth + 8];
    int n = 0;
    if (shownWidth_ > 0) {
        n = std::snprintf(line, sizeof line, "\r%s%*s\r%s", rescanning, shownWidth_ + 1, "", rescanning);
    }
    std::snprintf(line + n, sizeof line - static_cast<std::size_t>(n), "\n");
    writeText(standardOutput, line);
}

void ScanProgress::show() {
    char line[sizeof rescanning + countWidth + 4];
    int n = std::snprintf(line, sizeof line, "\r%s %lu", rescanning, folders_);
    shownWidth_ = n - static_cast<int>(sizeof rescanning);  // the count's digits
    writeText(standardOutput, line);
    nextShow_ = Clock::now() + std::chrono::milliseconds(100);
}

}  // namespace vux
