// The names a word can complete to: the last components of a tree file's lines that
// begin with the word, compared as the search compares its key, each name once.
#pragma once

#include <cstddef>
#include <string>

namespace vux {

// At most this many names are offered; reading stops once they are found, so
// memory stays bounded whatever the tree file holds.
constexpr std::size_t mostNames = 10000;

// Reads the open tree file and appends to out, one per line (LF), `typed` followed
// by each name whose line fits `key`: the key's head (what precedes its last "\" or
// "/") lined up with the end of the line's head, as the search lines them up, and
// its last component a beginning of the line's last component. `typed` is the word
// as the user typed it up to and including its last separator, drive prefix
// included. Each name is written without its first nameSkip characters (less than
// the key's last component holds): a shell that keeps part of the word on its command
// line asks for the rest only. A name that holds white space, which can't be typed
// as one key, comes as the prefix key that reaches it: the text before its first
// white space and "*". Returns the number of names.
std::size_t completeNames(int file, const char* key, std::size_t keyLength, const std::string& typed,
                          std::size_t nameSkip, std::string& out);

}  // namespace vux
