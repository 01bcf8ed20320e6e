#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Size of the module path buffers at the host boundary, NUL included.
constexpr size_t MODULE_PATH_SIZE = 260;

// The settings file of a module: its path from the last '.' on replaced by ".ini" (".ini"
// appended when there is no '.'). Empty when the result does not fit a module path buffer:
// the plug-in then runs on its defaults and writes no settings file.
[[nodiscard]] std::string MakeIniPath(std::string_view modulePath);
