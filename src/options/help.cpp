// The help screen, printed whatever the verbosity level.
#include "options/help.h"

#include <cstdlib>
#include <cstring>

#include "driver/output.h"
#include "driver/run_state.h"
#include "options/parser.h"

namespace vux {

void printHelp() {
    writeText(standardOutput,
              "\nvux enables you to change directories quickly.\n\n"
              "vux [Options] [Drive:][Search key]\n\n");
    printOptionLines(optionTable, switchChar);
    writeText(standardOutput,
              "\nThe data directory may be defined in an environment variable \"VUXDATADIR\".\n");
}

void printOptionLines(const OptionRow* table, char switchCharacter) {
    for (const OptionRow* row = table; row->pattern[0] != '\0'; ++row) {
        if (row->showInHelp == 0) continue;
        char* form = displayForm(*row, switchCharacter);
        // Four blanks, the form cut to 19 and padded to 21, a blank, the description.
        char line[160];
        std::size_t n = std::strlen(form);
        if (n > 19) n = 19;
        std::memset(line, ' ', 4 + 21 + 1);
        std::memcpy(line + 4, form, n);
        std::size_t length = 26;
        std::size_t descriptionLength = std::strlen(row->description);
        if (descriptionLength > sizeof line - length - 2) descriptionLength = sizeof line - length - 2;
        std::memcpy(line + length, row->description, descriptionLength);
        length += descriptionLength;
        line[length++] = '\n';
        line[length] = '\0';
        writeText(standardOutput, line);
        std::free(form);
    }
}

}  // namespace vux
