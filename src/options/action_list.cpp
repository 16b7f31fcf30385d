// The sorted action list and its heap-owned arguments.
#include "options/action_list.h"

#include <cstdlib>
#include <cstring>

#include "driver/fatal.h"

namespace vux {

ActionList actionList;

char* allocateOrFail(std::size_t size) {
    char* buffer = static_cast<char*>(std::malloc(size == 0 ? 1 : size));
    if (buffer == nullptr) fatalError("Couldn't allocate memory", nullptr, ExitCode::outOfMemory);
    buffer[0] = '\0';
    return buffer;
}

void addAction(const OptionRow& row, const char* argument) {
    if (actionList.count == maximumActions)
        fatalError("Too many requested actions", nullptr, ExitCode::tooManyActions);
    int index = 0;
    while (index < actionList.count && actionList.actions[index].row->actionNumber <= row.actionNumber)
        ++index;
    std::size_t n = std::strlen(argument);
    char* copy = allocateOrFail(n + 1);
    std::memcpy(copy, argument, n + 1);
    std::memmove(&actionList.actions[index + 1], &actionList.actions[index],
                 sizeof(Action) * static_cast<std::size_t>(actionList.count - index));
    actionList.actions[index] = Action{&row, copy};
    ++actionList.count;
}

void removeActions(int actionNumber) {
    int kept = 0;
    for (int i = 0; i < actionList.count; ++i) {
        Action& action = actionList.actions[i];
        if (action.row->actionNumber == actionNumber) {
            std::free(action.argument);
        } else {
            actionList.actions[kept++] = action;
        }
    }
    actionList.count = kept;
}

const Action* findAction(int actionNumber) {
    for (int i = 0; i < actionList.count; ++i) {
        if (actionList.actions[i].row->actionNumber == actionNumber) return &actionList.actions[i];
    }
    return nullptr;
}

const Action* nextAction() {
    if (actionList.cursor >= actionList.count) return nullptr;
    return &actionList.actions[actionList.cursor++];
}

void resetActionList() {
    for (int i = 0; i < actionList.count; ++i) std::free(actionList.actions[i].argument);
    actionList.count = 0;
    actionList.cursor = 0;
}

}  // namespace vux
