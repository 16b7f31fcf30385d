// The dispatch loop: the parsed actions performed in ascending action number, and
// the end of a run that has no search to make.
#pragma once

namespace vux {

struct Action;

// Performs the actions in list order. Ends the run with 127 after an install, and
// through the fatal errors of the actions themselves.
void dispatchActions(int argumentCount, char** argumentVector);

// Sets the switch that changes how keys and lines are compared, for the
// case-sensitive and exact-match actions; any other action is left alone.
void applyLookupSwitch(const Action& action);

// Ends a run without a search key with 127; a run given no arguments at all prints
// the current directory first.
[[noreturn]] void endWithoutSearch(bool noArguments, const char* currentDirectory);

}  // namespace vux
