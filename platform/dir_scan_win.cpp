#include <windows.h>

#include "platform/dir_scan.h"

bool ForEachDirEntry(const std::string& folder, const std::function<void(const DirEntry&)>& visit) {
    WIN32_FIND_DATAA data;
    const HANDLE find = FindFirstFileA((folder + "*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return false;
    do {
        visit({data.cFileName, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return true;
}
