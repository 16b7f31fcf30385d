// Text between the program's UTF-8 and the wide (UTF-16) and code-page text of the
// Windows calls, shared by the Windows backend's files.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

namespace platform::windows {

// Wide room for any path that fits a path buffer in UTF-8, and for what the system
// hands back (current directory, module name, environment) before it is measured.
constexpr int wideSize = 1024;

// UTF-8 into UTF-16: false when the text isn't valid UTF-8 or doesn't fit.
bool toWide(const char* text, wchar_t* wide, int size);

// UTF-16 into UTF-8: false when the text holds an unpaired surrogate (no UTF-8 can
// spell it) or doesn't fit size bytes with the terminator.
bool toUtf8(const wchar_t* wide, char* text, std::size_t size);

// Conversions of counted text, terminators neither read nor written. A character
// that the target can't spell becomes its default ("?", or U+FFFD in UTF-16); no
// look-alike stands in for it where the code page allows that choice.
std::string toUtf8String(const wchar_t* wide, std::size_t length);
std::string toUtf8String(const std::wstring& wide);
std::wstring wideOf(UINT codePage, const char* text, std::size_t length);
std::wstring wideOf(UINT codePage, const std::string& text);
std::string narrowOf(UINT codePage, const std::wstring& wide);

bool isAscii(const char* text);

// The length of the bytes at the end of data that begin a UTF-8 character and lack
// its last bytes.
std::size_t unfinishedTail(const char* data, std::size_t size);

// The code page in which the shell reads a batch file: the console's input code page.
UINT shellCodePage();

}  // namespace platform::windows
