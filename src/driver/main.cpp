// vux: changes the shell's current directory in a few keystrokes. One run performs
// one command line; this is its table of contents.
#include "complete/completion.h"
#include "driver/dispatch.h"
#include "driver/run_state.h"
#include "driver/start_up.h"
#include "options/option_table.h"
#include "options/parser.h"
#include "platform/platform.h"
#include "search/search_loop.h"
#include "tree/data_files.h"

int main(int argc, char** argv) {
    platform::takeArguments(argc, argv);
    if (vux::completionAsked()) vux::serveCompletion(argc, argv);
    vux::startUp(argc, argv, vux::Caller::search);
    vux::parseOptions(vux::optionTable, vux::switchChar, vux::pathSet.configFile, argc, argv);
    vux::dispatchActions(argc, argv);

    char currentDirectory[vux::pathBufferSize];
    vux::readCurrentDirectory(currentDirectory, sizeof currentDirectory);
    if (vux::searchKey[0] == '\0') vux::endWithoutSearch(argc == 1, currentDirectory);
    vux::runSearch(currentDirectory);
}
