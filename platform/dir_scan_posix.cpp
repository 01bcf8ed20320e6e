#include <dirent.h>
#include <sys/stat.h>

#include "platform/dir_scan.h"

bool ForEachDirEntry(const std::string& folder, const std::function<void(const DirEntry&)>& visit) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) return false;
    while (const dirent* entry = readdir(dir)) {
        bool isDirectory = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
            struct stat info;
            isDirectory = stat((folder + entry->d_name).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
        }
        visit({entry->d_name, isDirectory});
    }
    closedir(dir);
    return true;
}
