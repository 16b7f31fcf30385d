// The action list: up to 50 actions sorted by action number, each a row and an
// argument the list owns.
#pragma once

#include <cstddef>

#include "options/option_table.h"

namespace vux {

constexpr int maximumActions = 50;

struct Action {
    const OptionRow* row;
    char* argument;
};

struct ActionList {
    Action actions[maximumActions];
    int count;
    int cursor;  // the index nextAction hands out next; never set back
};

extern ActionList actionList;

// A heap buffer whose first byte is 0; ends the run with code 16 when the heap is
// exhausted.
char* allocateOrFail(std::size_t size);

// Inserts behind every action of equal or lower number; code 100 when full.
void addAction(const OptionRow& row, const char* argument);
void removeActions(int actionNumber);
const Action* findAction(int actionNumber);
const Action* nextAction();

// Empties the list, for test fixtures.
void resetActionList();

}  // namespace vux
