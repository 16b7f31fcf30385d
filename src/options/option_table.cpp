// The option table's rows, its hooks and its validators.
#include "options/option_table.h"

#include "driver/fatal.h"
#include "driver/output.h"
#include "driver/run_state.h"
#include "options/action_list.h"
#include "options/help.h"

namespace vux {

// One row per line: pattern, help text, argument name, shown in help, action,
// actions it removes (0 ends), parse hook, validator, maximum count (-1: any).
// clang-format off
const OptionRow optionTable[] = {
    {"$",                "",                                               "search key", 0, actions::searchKey,      {0},                                               nullptr,       nullptr,       1},
    {"?",                "Help on using vux",                              "",           1, actions::help,           {actions::help},                                   nullptr,       helpValidator, -1},
    {"help",             "Help on using vux",                              "",           0, actions::help,           {actions::help},                                   nullptr,       helpValidator, -1},
    {"r[escan]",         "Force rescan of directory structure",            "",           1, actions::rescan,         {actions::noRescan, actions::rescan},              nullptr,       nullptr,       -1},
    {"n[orescan]",       "No rescan of directory structure",               "",           1, actions::noRescan,       {actions::rescan, actions::noRescan},              nullptr,       nullptr,       -1},
    {"inst[all]",        "Create vux.bat and vux.cfg with given options",  "",           1, actions::install,        {0},                                               nullptr,       nullptr,       1},
    {"c[ase sensitive]", "Perform a case sensitive search",                "",           1, actions::caseSensitive,  {actions::caseSensitive},                          nullptr,       nullptr,       -1},
    {"ex[act match]",    "Accept exact matches only",                      "",           1, actions::exactMatch,     {actions::exactMatch},                             nullptr,       nullptr,       -1},
    {"v[erbose]",        "Display all messages",                           "",           1, actions::verbose,        {actions::quiet, actions::mute, actions::verbose}, verbosityHook, nullptr,       -1},
    {"q[uiet]",          "Suppress informational messages",                "",           1, actions::quiet,          {actions::mute, actions::verbose, actions::quiet}, verbosityHook, nullptr,       -1},
    {"m[ute]",           "Suppress all messages not especially asked for", "",           1, actions::mute,           {actions::quiet, actions::verbose, actions::mute}, verbosityHook, nullptr,       -1},
    {"b[ack]",           "Return to previous directory",                   "",           1, actions::back,           {actions::back},                                   nullptr,       backValidator, -1},
    {"disable backlog",  "Disable backlogging",                            "",           1, actions::disableBacklog, {actions::disableBacklog},                         nullptr,       nullptr,       -1},
    {"define home $",    "Define home directory",                          "path",       1, actions::defineHome,     {actions::defineHome},                             nullptr,       nullptr,       -1},
    {"h[ome]",           "Go to home directory (if defined)",              "",           1, actions::home,           {actions::home},                                   nullptr,       homeValidator, -1},
    {"",                 "",                                               "",           0, 0,                       {0},                                               nullptr,       nullptr,       0},
};
// clang-format on
static_assert(sizeof optionTable / sizeof optionTable[0] == optionRowCount + 1,
              "optionRowCount counts every row but the end row");

const OptionRow bannerRow = {"", "", "", 0, actions::banner, {0}, nullptr, bannerValidator, -1};

int useCounts[optionRowCount + 1];
int bannerUseCount = 0;

int& useCountOf(const OptionRow& row) {
    if (&row >= optionTable && &row < optionTable + optionRowCount + 1) return useCounts[&row - optionTable];
    return bannerUseCount;
}

int verbosityHook(const OptionRow& row, const char*) {
    requestedVerbosity = row.actionNumber - actions::verbose;
    return applyAll;
}

int bannerValidator(const Action&) {
    verbosityLevel = requestedVerbosity == verbosityUnset ? verbosityNormal : requestedVerbosity;
    if (verbosityLevel == verbosityNormal) {
        writeText(standardOutput, "vux " VUX_VERSION
                                  ", the quick directory changer\n"
                                  "Copyright (c) 2026 the vux developers; free to use and share.\n");
    }
    return 1;
}

int helpValidator(const Action&) {
    printHelp();
    return 1;
}

int backValidator(const Action&) {
    if (findAction(actions::searchKey) != nullptr) {
        fatalErrorChar("No search key may be specified with \"%cb[ack]\".", switchChar,
                       ExitCode::keyWithBack);
    }
    return 0;
}

int homeValidator(const Action&) {
    if (findAction(actions::searchKey) != nullptr) {
        fatalErrorChar("No search key may be specified with \"%ch[ome]\".", switchChar,
                       ExitCode::keyWithHome);
    }
    return 0;
}

}  // namespace vux
