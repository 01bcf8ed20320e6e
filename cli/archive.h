// Archives and folders: mbox files a message at a time, Maildirs and folders of message
// files, with a progress line and a summary of what was done.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <system_error>
#include <map>
#include <string>

#include "cli/conversion.h"

// What a run did with the messages of its archives and folders, for its summary.
struct Tally {
    size_t messages = 0;
    size_t converted[3] = {};  // by carrier code
    size_t marked = 0;
    size_t pictographs = 0;
    size_t imagesCarried = 0, imageBytes = 0;
    std::map<std::string, size_t> leftAlone;  // by reason
    size_t notMessages = 0;
    size_t unreadable = 0;
    size_t failed = 0;  // conversions that ran out of memory (counted among those left alone too)
    size_t mboxes = 0;  // read, standard input's included
};

// The progress line of a long run, on a terminal only, redrawn at most five times a second.
struct Progress {
    bool shown = false;
    uint64_t total = 0;  // bytes to read
    uint64_t done = 0;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point drawn;
};

void PrintSummary(const Tally& tally, const Progress& progress);
// A failure said on its own line, the progress line cleared first.
void SayFailure(const std::string& message, const Progress& progress);
// The name an input file or folder takes under --out-dir: its own, as its path has it once
// "." and ".." are taken out ("a/sub/.." is "a"), so that nothing is written outside the
// output folder.
[[nodiscard]] fs::path OutputNameOf(const fs::path& input);
// The bytes of a file, or of the files of a folder and the folders in it.
[[nodiscard]] uint64_t BytesUnder(const fs::path& path);
// Each regular file of folder and of the folders in it. Symbolic links are not followed, so
// no loop (each(entry, true) says one was met), and a Maildir's tmp/, which holds messages
// still being delivered, is never touched. A folder that cannot be read (folder itself too) is
// passed over; unread names the first one, with the system's reason (empty when all were read).
void ForEachFileIn(const fs::path& folder, const std::function<void(const fs::directory_entry& file, bool link)>& each,
                   std::string& unread);
// A file named on the command line (named) or found in a folder, converted to target.
void ConvertFile(const fs::path& path, const fs::path& target, bool named, const Options& options, Tally& tally,
                 Progress& progress);
// Every file of folder and of the folders in it; a file that fails, whatever the failure, is
// said and sets status 1, and the rest goes on.
void ConvertFolder(const fs::path& folder, const Options& options, Tally& tally, Progress& progress, int& status);
