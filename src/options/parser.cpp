// The word loop, option matching, the configuration reader and the end pass.
#include "options/parser.h"

#include <cstdlib>
#include <cstring>

#include "driver/fatal.h"
#include "driver/run_state.h"
#include "options/action_list.h"
#include "platform/path_algebra.h"
#include "tree/text_file.h"

namespace vux {

namespace {

// Compares n characters, letters without regard to case; the text may end early.
bool matchesIgnoringCase(const char* text, const char* pattern, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        if (text[i] == '\0' || platform::upperAscii(text[i]) != platform::upperAscii(pattern[i]))
            return false;
    }
    return true;
}

// The joined text being built: words one blank apart, never past its buffer.
struct JoinedText {
    char* text;
    std::size_t length;

    void append(const char* word, std::size_t n) {
        if (length + n + 1 > joinedTextSize - 1) {
            fatalError("The configuration and command-line words are longer than 1299 characters.", nullptr,
                       ExitCode::overlongInput);
        }
        std::memcpy(text + length, word, n);
        length += n;
        text[length++] = ' ';
        text[length] = '\0';
    }
};

void appendConfiguration(JoinedText& joined, const char* configurationPath) {
    LineReader reader;
    if (!reader.open(configurationPath)) return;
    char piece[configLineSize];
    while (reader.readLine(piece, sizeof piece)) {
        std::size_t n = std::strlen(piece);
        while (n > 0 && isWhiteSpace(piece[n - 1])) --n;
        joined.append(piece, n);
    }
}

// Tries each row on the option word at cursor (just behind the switch character).
// Returns the position behind what was consumed.
const char* matchOptionWord(const OptionRow* table, const char* wordStart, char* word) {
    for (const OptionRow* row = table + 1; row->pattern[0] != '\0'; ++row) {
        const char* pattern = row->pattern;
        const char* open = std::strchr(pattern, '[');
        const char* dollar = std::strchr(pattern, '$');
        std::size_t mandatoryLength;
        const char* tail = nullptr;
        std::size_t tailLength = 0;
        if (open != nullptr) {
            mandatoryLength = static_cast<std::size_t>(open - pattern);
            tail = open + 1;
            const char* close = std::strchr(tail, ']');
            tailLength = close != nullptr ? static_cast<std::size_t>(close - tail) : std::strlen(tail);
        } else if (dollar != nullptr) {
            mandatoryLength = static_cast<std::size_t>(dollar - pattern);
        } else {
            mandatoryLength = std::strlen(pattern);
        }

        const char* cursor = wordStart;
        if (!matchesIgnoringCase(cursor, pattern, mandatoryLength)) continue;
        cursor += mandatoryLength;
        if (tail != nullptr) {
            if (matchesIgnoringCase(cursor, tail, tailLength)) {
                cursor += tailLength;
            } else if (dollar == nullptr && *cursor != ' ') {
                continue;
            }
        }
        if (dollar != nullptr) {
            const char* end = cursor;
            while (*end != '\0' && *end != ' ') ++end;
            std::size_t n = static_cast<std::size_t>(end - cursor);
            if (n > wordBufferSize - 1) {
                fatalError("The argument of an option is longer than 520 characters.", nullptr,
                           ExitCode::overlongArgument);
            }
            std::memcpy(word, cursor, n);
            word[n] = '\0';
            cursor = end;
        } else {
            word[0] = '\0';
        }
        if (applyOption(*row, word) != 0) return cursor;
        wordStart = cursor;
    }
    return nullptr;
}

void endPass() {
    int index = 0;
    while (index < actionList.count) {
        const Action& action = actionList.actions[index];
        const OptionRow& row = *action.row;
        if (row.validator != nullptr && row.validator(action) != 0) {
            removeActions(row.actionNumber);
            continue;
        }
        if (row.maximumCount >= 0 && useCountOf(row) > row.maximumCount) {
            char* form = displayForm(row, switchChar);
            // "occurences" and the missing full stop of the unknown-option message
            // are the system's own spellings, which scripts may match.
            fatalError("Too many occurences of option \"%s\".", form, ExitCode::tooManyOccurrences);
        }
        ++index;
    }
}

}  // namespace

int applyOption(const OptionRow& row, const char* argument) {
    int flags = row.parseHook != nullptr ? row.parseHook(row, argument) : applyAll;
    if ((flags & removeExcluded) != 0) {
        for (int number : row.exclusions) {
            if (number == 0) break;
            removeActions(number);
        }
    }
    if ((flags & addForRow) != 0) addAction(row, argument);
    if ((flags & countUse) != 0) ++useCountOf(row);
    return flags & consumeWord;
}

char* displayForm(const OptionRow& row, char switchCharacter) {
    std::size_t patternLength = std::strlen(row.pattern);
    std::size_t nameLength = std::strlen(row.argumentName);
    char* form = allocateOrFail(patternLength + nameLength + 20);
    std::size_t n = 0;
    if (row.pattern[0] != '$') form[n++] = switchCharacter;
    std::memcpy(form + n, row.pattern, patternLength + 1);
    n += patternLength;
    if (std::strchr(row.pattern, '$') != nullptr) {
        // The "$" is the last character of every pattern that has one.
        std::memcpy(form + n - 1, row.argumentName, nameLength + 1);
    }
    return form;
}

void readOptionWords(const OptionRow* table, char switchCharacter, const char* configurationPath,
                     int argumentCount, char** argumentVector) {
    JoinedText joined{allocateOrFail(joinedTextSize), 0};
    appendConfiguration(joined, configurationPath);
    for (int i = 1; i < argumentCount; ++i) {
        joined.append(argumentVector[i], std::strlen(argumentVector[i]));
    }
    for (int& count : useCounts) count = 0;

    char word[wordBufferSize];
    const char* cursor = joined.text;
    while (*cursor != '\0') {
        while (isWhiteSpace(*cursor)) ++cursor;
        if (*cursor == '\0') break;
        if (*cursor == switchCharacter || (switchCharacter == '/' && *cursor == '-')) {
            const char* wordStart = cursor + 1;
            const char* after = matchOptionWord(table, wordStart, word);
            if (after == nullptr) {
                char* end = joined.text + (std::strchr(wordStart, ' ') - joined.text);
                *end = '\0';
                fatalError("Unknown option \"%s\"", cursor, ExitCode::unknownOption);
            }
            cursor = after;
        } else {
            const char* end = std::strchr(cursor, ' ');
            std::size_t n = static_cast<std::size_t>(end - cursor);
            if (n > wordBufferSize - 1) {
                fatalError("A word is longer than 520 characters.", nullptr, ExitCode::overlongWord);
            }
            std::memcpy(word, cursor, n);
            word[n] = '\0';
            applyOption(table[0], word);
            cursor = end;
        }
    }
    std::free(joined.text);
}

void parseOptions(const OptionRow* table, char switchCharacter, const char* configurationPath,
                  int argumentCount, char** argumentVector) {
    readOptionWords(table, switchCharacter, configurationPath, argumentCount, argumentVector);
    endPass();
}

}  // namespace vux
