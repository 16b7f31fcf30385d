// Conversions between UTF-8, UTF-16 and the code pages, for the Windows backend.
#include "platform/windows/wide_text.h"

namespace platform::windows {

bool toWide(const char* text, wchar_t* wide, int size) {
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, wide, size) > 0;
}

bool toUtf8(const wchar_t* wide, char* text, std::size_t size) {
    int n = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, -1, text, static_cast<int>(size),
                                nullptr, nullptr);
    return n > 0;
}

std::string toUtf8String(const wchar_t* wide, std::size_t length) {
    int count = static_cast<int>(length);
    int n = count == 0 ? 0 : WideCharToMultiByte(CP_UTF8, 0, wide, count, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, wide, count, &text[0], n, nullptr, nullptr);
    return text;
}

std::wstring wideOf(UINT codePage, const char* text, std::size_t length) {
    int count = static_cast<int>(length);
    int n = count == 0 ? 0 : MultiByteToWideChar(codePage, 0, text, count, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(codePage, 0, text, count, &wide[0], n);
    return wide;
}

std::wstring wideOf(UINT codePage, const std::string& text) {
    return wideOf(codePage, text.data(), text.size());
}

std::string toUtf8String(const std::wstring& wide) { return toUtf8String(wide.data(), wide.size()); }

std::string narrowOf(UINT codePage, const std::wstring& wide) {
    int count = static_cast<int>(wide.size());
    if (count == 0) return std::string();
    DWORD flags = WC_NO_BEST_FIT_CHARS;
    int n = WideCharToMultiByte(codePage, flags, wide.data(), count, nullptr, 0, nullptr, nullptr);
    if (n == 0 && GetLastError() == ERROR_INVALID_FLAGS) {
        flags = 0;
        n = WideCharToMultiByte(codePage, flags, wide.data(), count, nullptr, 0, nullptr, nullptr);
    }
    std::string text(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(codePage, flags, wide.data(), count, &text[0], n, nullptr, nullptr);
    return text;
}

bool isAscii(const char* text) {
    for (; *text != '\0'; ++text) {
        if (static_cast<unsigned char>(*text) >= 0x80) return false;
    }
    return true;
}

UINT shellCodePage() {
    UINT page = GetConsoleCP();
    return page != 0 ? page : GetOEMCP();
}

std::size_t unfinishedTail(const char* data, std::size_t size) {
    for (std::size_t back = 1; back <= 3 && back <= size; ++back) {
        unsigned char c = static_cast<unsigned char>(data[size - back]);
        if ((c & 0xC0) == 0x80) continue;  // a continuation byte: look further back
        std::size_t needed = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        return needed > back ? back : 0;
    }
    return 0;
}

}  // namespace platform::windows
