#include "platform/code_page.h"

#include <windows.h>

#include <climits>

std::string ConvertCp932ToUtf8(std::string_view cp932) {
    if (cp932.empty() || cp932.size() > INT_MAX / 3) return {};
    const int length = static_cast<int>(cp932.size());
    std::wstring wide(cp932.size(), L'\0');
    const int wideLength = MultiByteToWideChar(932, 0, cp932.data(), length, wide.data(), length);
    std::string utf8(static_cast<size_t>(wideLength) * 3, '\0');
    const int utf8Length =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, utf8.data(), static_cast<int>(utf8.size()), nullptr, nullptr);
    utf8.resize(static_cast<size_t>(utf8Length > 0 ? utf8Length : 0));
    return utf8;
}
