// The option parser over any configuration text and any command-line words.
//
// Input: the configuration file's bytes, then for each command-line word a byte
// 0x01 and the word (a word ends at its first NUL, as an argument does). With no
// 0x01 at all the configuration file is missing and every byte is one word.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "driver/run_state.h"
#include "fuzz_support.h"
#include "options/action_list.h"
#include "options/option_table.h"
#include "options/parser.h"
#include "run_reset.h"
#include "search/search_loop.h"
#include "tree/data_files.h"

namespace {

std::string configHostPath;

// The arguments of the actions in the list belong to it until the next reset.
bool heldByActionList(const void* block) {
    for (int i = 0; i < vux::actionList.count; ++i) {
        if (vux::actionList.actions[i].argument == block) return true;
    }
    return false;
}

// What every parse that ends normally must leave: a sorted list within its bound,
// no row past its maximum count, the verbosity level fixed by the banner action.
void checkActionList() {
    if (vux::actionList.count < 0 || vux::actionList.count > vux::maximumActions) __builtin_trap();
    int keys = 0;
    for (int i = 0; i < vux::actionList.count; ++i) {
        const vux::Action& action = vux::actionList.actions[i];
        if (i > 0 && vux::actionList.actions[i - 1].row->actionNumber > action.row->actionNumber)
            __builtin_trap();
        if (action.row->validator != nullptr && action.row->actionNumber != vux::actions::back &&
            action.row->actionNumber != vux::actions::home) {
            __builtin_trap();  // the end pass removes them
        }
        if (std::strlen(action.argument) > vux::wordBufferSize - 1) __builtin_trap();
        if (action.row->actionNumber == vux::actions::searchKey) ++keys;
    }
    if (keys > 1) __builtin_trap();
    if (vux::verbosityLevel < vux::verbosityNormal || vux::verbosityLevel > vux::verbosityMute)
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::silenceStandardOutput();
    configHostPath = fuzz::makeTemporaryDrive() + "/vux.cfg";
    test_support::resetWholeRun();
    try {
        vux::computePathSet("C:\\vux");
    } catch (const fuzz::RunEnded&) {
        __builtin_trap();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> pieces = fuzz::split(data, size, '\x01');
    std::vector<std::string> words;
    if (pieces.size() == 1) {
        std::remove(configHostPath.c_str());
        words.push_back(pieces[0]);
    } else {
        fuzz::writeHostFile(configHostPath, pieces[0]);
        words.assign(pieces.begin() + 1, pieces.end());
    }
    std::vector<char*> argv;
    static char programName[] = "C:\\vux";
    argv.push_back(programName);
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    fuzz::returnToTemporaryDrive();
    test_support::resetWholeRun();
    fuzz::HeapWatch heap;
    heap.watch();
    try {
        vux::addAction(vux::bannerRow, "");
        vux::parseOptions(vux::optionTable, vux::switchChar, "C:\\vux.cfg", static_cast<int>(argv.size() - 1),
                          argv.data());
        checkActionList();
        for (int i = 0; i < vux::actionList.count; ++i) {
            const vux::Action& action = vux::actionList.actions[i];
            char* form = vux::displayForm(*action.row, vux::switchChar);
            std::free(form);
        }
        if (const vux::Action* key = vux::findAction(vux::actions::searchKey)) {
            vux::setSearchKey(key->argument);
            if (std::strlen(vux::searchKey) > vux::pathBufferSize - 1) __builtin_trap();
        }
    } catch (const fuzz::RunEnded&) {
        // A fatal error of the parser: the run would end here with its code.
    }
    heap.collect(heldByActionList);
    return 0;
}
