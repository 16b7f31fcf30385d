// The help screen: a short usage text and one line per option shown in help.
#pragma once

#include "options/option_table.h"

namespace vux {

void printHelp();
void printOptionLines(const OptionRow* table, char switchCharacter);

}  // namespace vux
