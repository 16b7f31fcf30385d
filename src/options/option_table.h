// The option table: which words are options, how far they may be shortened, what
// they take, cancel and allow, and what is tested once all words are read.
#pragma once

namespace vux {

struct OptionRow;
struct Action;

// Apply flags that a parse hook returns.
constexpr int removeExcluded = 1;
constexpr int addForRow = 2;
constexpr int countUse = 4;
constexpr int consumeWord = 8;
constexpr int applyAll = removeExcluded | addForRow | countUse | consumeWord;

using ParseHook = int (*)(const OptionRow& row, const char* argument);
using Validator = int (*)(const Action& action);

struct OptionRow {
    const char* pattern;       // "r[escan]": mandatory part, optional tail; "$" an argument
    const char* description;   // shown by the help screen
    const char* argumentName;  // put in place of "$" in the display form
    int showInHelp;
    int actionNumber;     // orders the action list; tells the driver what to do
    int exclusions[5];    // action numbers removed when the row applies; 0 ends
    ParseHook parseHook;  // none: every apply flag
    Validator validator;  // nonzero: every action of the row's number is removed
    int maximumCount;     // -1: no limit
};

// Action numbers the driver dispatches on.
namespace actions {
constexpr int install = 0;
constexpr int banner = 8;
constexpr int verbose = 10;
constexpr int quiet = 11;
constexpr int mute = 12;
constexpr int searchKey = 20;
constexpr int disableBacklog = 26;
constexpr int back = 30;
constexpr int defineHome = 31;
constexpr int home = 32;
constexpr int rescan = 40;
constexpr int noRescan = 41;
constexpr int help = 50;
constexpr int caseSensitive = 60;
constexpr int exactMatch = 61;
}  // namespace actions

// Rows in the order that decides a match when several patterns fit a word; the
// first row is the search key's, never matched against an option word; the row
// with the empty pattern ends the table.
extern const OptionRow optionTable[];
constexpr int optionRowCount = 15;  // without the end row

// Stands outside the table: the driver adds its one action before parsing.
extern const OptionRow bannerRow;

// How often each table row matched in this run (index as in optionTable).
extern int useCounts[optionRowCount + 1];
int& useCountOf(const OptionRow& row);

// The hooks and validators of the rows. The back and home validators end the run
// with 23 and 22 when a search key was given as well; help prints the help screen.
int verbosityHook(const OptionRow& row, const char* argument);
int bannerValidator(const Action& action);
int helpValidator(const Action& action);
int backValidator(const Action& action);
int homeValidator(const Action& action);

}  // namespace vux
