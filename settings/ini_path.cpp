#include "settings/ini_path.h"

std::string MakeIniPath(std::string_view modulePath) {
    std::string path(modulePath.substr(0, modulePath.rfind('.')));
    path += ".ini";
    if (path.size() >= MODULE_PATH_SIZE) return {};
    return path;
}
