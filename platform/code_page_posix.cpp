#include "platform/code_page.h"

#include <iconv.h>

#include <cerrno>

std::string ConvertCp932ToUtf8(std::string_view cp932) {
    const iconv_t cd = iconv_open("UTF-8", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(cp932);
    std::string utf8(cp932.size() * 3 + 3, '\0');  // no character of code page 932 takes more
    char* in = const_cast<char*>(cp932.data());
    size_t inLeft = cp932.size();
    char* out = utf8.data();
    size_t outLeft = utf8.size();
    while (inLeft > 0) {
        if (iconv(cd, &in, &inLeft, &out, &outLeft) != static_cast<size_t>(-1)) break;
        if (errno != EILSEQ && errno != EINVAL) break;
        // One byte it cannot read: U+FFFD in its place, and on with the next.
        *out++ = '\xEF', *out++ = '\xBF', *out++ = '\xBD';
        outLeft -= 3;
        ++in, --inLeft;
    }
    iconv_close(cd);
    utf8.resize(utf8.size() - outLeft);
    return utf8;
}
