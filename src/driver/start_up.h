// One run of vux: start-up, parsing, the dispatch loop in ascending action number,
// and the end with or without a search.
#pragma once

namespace vux {

// Steps before parsing: drive state, the PathSet, the emptied command batch, the
// banner action.
void startUp(int argumentCount, char** argumentVector);

// Performs the actions in list order.
void dispatchActions(int argumentCount, char** argumentVector);

// The end of a run: the search when there is a key, else exit code 127.
[[noreturn]] void finishRun(int argumentCount);

// Action 31: the home file gets the full path of argument.
void defineHome(const char* argument);

}  // namespace vux
