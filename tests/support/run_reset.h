// Everything one run leaves behind put back to its start, for tests and fuzz
// targets that make many runs in one process: the run state, the action list, the
// options' use counts, the search's held candidate and the matches it passed over.
// The pathSet stays as computePathSet left it: it depends on the program's
// location, not on the run.
#pragma once

#include "driver/run_state.h"
#include "options/action_list.h"
#include "options/option_table.h"
#include "search/change_directory.h"
#include "search/match_score.h"

namespace test_support {

inline void resetWholeRun() {
    vux::resetRunState();
    vux::resetActionList();
    for (int& count : vux::useCounts) count = 0;
    vux::useCountOf(vux::bannerRow) = 0;
    vux::clearBestCandidate();
    vux::clearSkippedCandidates();
}

}  // namespace test_support
