// The text of an INI file read as the Windows private-profile functions read it (the file
// side of ReadIniValue where there is no such function); strangers' bytes enter here.
#pragma once

#include <string>
#include <string_view>

// The key's value in the first section of that name, at most INI_VALUE_SIZE - 1 bytes, or
// fallback when the section or the key is missing.
[[nodiscard]] std::string FindIniValue(std::string_view text, std::string_view section, std::string_view key,
                                       const std::string& fallback);
