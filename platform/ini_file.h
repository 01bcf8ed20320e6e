// Reading and writing one value of an INI file, with the behaviour of the Windows
// private-profile functions: names compared without regard to case, blanks around names and
// values ignored, first matching section and key win.
#pragma once

#include <cstddef>
#include <string>

// Values are read into a buffer of this size: at most its size less one byte counts.
constexpr size_t INI_VALUE_SIZE = 4096;

// The key's value, or fallback when the file, the section or the key is missing.
[[nodiscard]] std::string ReadIniValue(const std::string& section, const std::string& key,
                                       const std::string& fallback, const std::string& path);

// Stores the value, creating the file, section and key when needed and keeping every other
// key. A file that cannot be written stays as it was.
void WriteIniValue(const std::string& section, const std::string& key, const std::string& value,
                   const std::string& path);
