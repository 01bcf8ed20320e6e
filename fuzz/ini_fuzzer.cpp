// The INI reader on arbitrary file text: a value found is at most 4095 bytes and stands in the
// text itself; a section or key the text does not name gives the fallback.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/check.h"
#include "platform/ini_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string fallback = "\x01 fallback";
    for (const char* key : {"Auto Mode", "AU List", "Docomo List", "Softbank List"}) {
        const std::string value = FindIniValue(text, "Config", key, fallback);
        Check(value.size() <= 4095);
        Check(value == fallback || text.find(value) != std::string_view::npos);
    }
    Check(FindIniValue(text, "\x02", "k", fallback) == fallback || text.find('\x02') != std::string_view::npos);
    return 0;
}
