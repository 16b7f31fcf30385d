// The line a scan shows while it runs.
#pragma once

#include <chrono>

namespace vux {

// On a terminal, a scan that runs for more than half a second shows the count of
// folders found so far after the text of its line, rewritten in place at most ten
// times a second; at the end the line is left as the text alone. Anywhere else the
// line is written whole, once.
class ScanProgress {
public:
    void begin();
    void folderFound() {
        // The clock is read every 8 folders: often enough, and cheap.
        if (++folders_ % 8 == 0 && onTerminal_ && Clock::now() >= nextShow_) show();
    }
    // Ends the line; the count, if shown, is blanked out.
    void end();

private:
    using Clock = std::chrono::steady_clock;

    void show();

    bool onTerminal_ = false;
    unsigned long folders_ = 0;
    int shownWidth_ = 0;
    Clock::time_point nextShow_;
};

}  // namespace vux
