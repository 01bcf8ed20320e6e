#include <windows.h>

#include "platform/ini_file.h"

std::string ReadIniValue(const std::string& section, const std::string& key, const std::string& fallback,
                         const std::string& path) {
    char value[INI_VALUE_SIZE];
    const DWORD len = GetPrivateProfileStringA(section.c_str(), key.c_str(), fallback.c_str(), value,
                                               sizeof value, path.c_str());
    return std::string(value, len);
}

void WriteIniValue(const std::string& section, const std::string& key, const std::string& value,
                   const std::string& path) {
    WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), path.c_str());
}
