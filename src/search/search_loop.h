// The search key and the search: the key word's drive prefix and trailing "*",
// then passes over the tree file with at most one automatic scan.
#pragma once

namespace vux {

// Takes the key word: a drive prefix switches to that drive (a prefix alone hands
// the drive to changeDirectory), a trailing "*" makes a wildcard key. Ends the run
// with 11 when the drive can't be entered, 105 when the key exceeds 259 characters.
void setSearchKey(const char* word);

// Searches the current drive's tree file for searchKey from currentDirectory and
// ends the run: 0 when a change was handed over, else through a fatal error.
[[noreturn]] void runSearch(const char* currentDirectory);

}  // namespace vux
