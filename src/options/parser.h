// The parser: the configuration file's words, then the command-line words, become
// the sorted action list; the end pass runs the validators and the count limits.
#pragma once

#include <cstddef>

#include "options/option_table.h"

namespace vux {

constexpr std::size_t joinedTextSize = 1300;  // the terminator included
constexpr std::size_t wordBufferSize = 521;   // 520 characters and the terminator
constexpr std::size_t configLineSize = 520;   // pieces of at most 519 characters

// Space, tab, line feed, vertical tab, form feed and carriage return; a blank is
// the space alone.
inline bool isWhiteSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Applies one matched row with its argument. Returns nonzero when the word is
// consumed; ends the run with 100 when the action list is full.
int applyOption(const OptionRow& row, const char* argument);

// A new text naming the row as the help screen shows it; the caller frees it.
char* displayForm(const OptionRow& row, char switchCharacter);

// The word loop alone: the configuration file's words, then the command line's,
// become the sorted action list; no validator runs and no count is checked. Ends
// the run as parseOptions does for unknown options and overlong text.
void readOptionWords(const OptionRow* table, char switchCharacter, const char* configurationPath,
                     int argumentCount, char** argumentVector);

// Turns the configuration file's words, then the command line's, into the sorted
// action list and runs the end pass. Ends the run with 101 for an unknown option,
// 102 for an option given too often, 103 to 105 for overlong text, and through
// the validators (help, back and home with a key).
void parseOptions(const OptionRow* table, char switchCharacter, const char* configurationPath,
                  int argumentCount, char** argumentVector);

}  // namespace vux
