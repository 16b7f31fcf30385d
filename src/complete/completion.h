// Completion served by vux itself: the mode one call asks for through its
// environment, and the run it makes instead of a search.
#pragma once

namespace vux {

// Whether this call asks for completion: VUXCOMPLETE is "1".
bool completionAsked();

// Prints the names the word (argument 1) completes to and ends the run; argument 2,
// when given, is how many characters of the word the shell keeps.
[[noreturn]] void serveCompletion(int argumentCount, char** argumentVector);

}  // namespace vux
