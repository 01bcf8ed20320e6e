// Listing the entries of one folder.
#pragma once

#include <functional>
#include <string>

struct DirEntry {
    std::string name;  // as the file system gives it, bytes unchanged
    bool isDirectory = false;
};

// Offers every entry of folder (a path that ends with the separator), "." and ".." and
// sub-folders included, to visit. False when the folder cannot be opened.
bool ForEachDirEntry(const std::string& folder, const std::function<void(const DirEntry&)>& visit);
