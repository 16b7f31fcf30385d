// Formatted output to standard output and standard error without stream set-up:
// each call formats into a small buffer and writes it at once.
#pragma once

#include <cstddef>

namespace vux {

constexpr int standardOutput = 1;
constexpr int standardError = 2;

// Writes text as it stands.
void writeText(int stream, const char* text);

// Writes a template whose one placeholder (%s, %c) takes the argument, "%%" giving
// one "%". The argument's own characters are written as they are.
void writeFormatted(int stream, const char* format, const char* argument);
void writeFormattedChar(int stream, const char* format, char argument);

// Writes "vux: ", the template with its placeholder taking text, and a line end,
// in one piece.
void writeMessage(int stream, const char* format, const char* text, std::size_t textLength);

}  // namespace vux
