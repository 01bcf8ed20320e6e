#include "cli/archive.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>

#include "cli/mbox.h"

namespace {

void Count(Tally& tally, const Outcome& outcome) {
    ++tally.messages;
    tally.pictographs += outcome.replaced;
    if (outcome.converted && outcome.carrier < 3) ++tally.converted[outcome.carrier];
    else if (outcome.leftAlone.empty()) ++tally.marked;
    else ++tally.leftAlone[outcome.leftAlone];
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void Advance(Progress& progress, const Tally& tally, uint64_t bytes) {
    progress.done += bytes;
    if (!progress.shown || std::chrono::steady_clock::now() - progress.drawn < std::chrono::milliseconds(200)) return;
    progress.drawn = std::chrono::steady_clock::now();
    const double seconds = SecondsSince(progress.start), rate = progress.done / std::max(seconds, 1e-3);
    const double left = progress.total > progress.done ? (progress.total - progress.done) / std::max(rate, 1.0) : 0;
    std::fprintf(stderr, "\r%zu messages, %.1f of %.1f MB, %.1f MB/s, %.0f s left   ", tally.messages, progress.done / 1e6,
                 progress.total / 1e6, rate / 1e6, left);
}

}  // namespace

void PrintSummary(const Tally& tally, const Progress& progress) {
    if (progress.shown) std::fprintf(stderr, "\r%78s\r", "");
    std::fprintf(stderr, "%zu messages read in %.1f s\n", tally.messages, SecondsSince(progress.start));
    for (const CarrierCode carrier : {CARRIER_DOCOMO, CARRIER_AU, CARRIER_SOFTBANK})
        if (tally.converted[carrier]) std::fprintf(stderr, "  converted (%s): %zu\n", CarrierName(carrier), tally.converted[carrier]);
    std::fprintf(stderr, "  pictographs replaced: %zu\n", tally.pictographs);
    if (tally.marked) std::fprintf(stderr, "  marked as converted, no known pictograph: %zu\n", tally.marked);
    for (const auto& [reason, count] : tally.leftAlone) std::fprintf(stderr, "  left alone, %s: %zu\n", reason.c_str(), count);
    if (tally.notMessages) std::fprintf(stderr, "  files that are not messages, left as they are: %zu\n", tally.notMessages);
    if (tally.unreadable) std::fprintf(stderr, "  files that could not be read or written: %zu\n", tally.unreadable);
}

namespace {

// Every message of an mbox down the road, written to target (the mbox itself when in place)
// a message at a time: the "From " lines and the quoting of lines that were not converted
// stay exactly, a converted message is quoted again and its Content-Length set.
void ConvertMbox(const fs::path& path, const fs::path& target, bool named, const Options& options, Tally& tally,
                 Progress& progress) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw Failure{"cannot read " + path.string()};
    const fs::path temporary = TemporaryBeside(target);
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    // Written a megabyte at a time: the stream makes a system call of each larger write.
    std::string pending;
    const auto write = [&](std::string_view bytes) {
        pending.append(bytes);
        if (pending.size() < (1u << 20)) return;
        out.write(pending.data(), static_cast<std::streamsize>(pending.size()));
        pending.clear();
    };
    bool changed = false;
    const bool read = ForEachMboxMessage(in, [&](std::string_view fromLine, std::string_view message) {
        write(fromLine);
        if (fromLine.empty()) {  // bytes before the first message
            write(message);
            return;
        }
        Outcome outcome = ConvertMessage(UnquoteMboxLines(message), options.force);
        Count(tally, outcome);
        Advance(progress, tally, fromLine.size() + message.size());
        if (options.verbose) std::cerr << path.string() << ": " << std::string(fromLine.substr(0, fromLine.find_first_of("\r\n"))) << ": " << outcome.said << "\n";
        if (outcome.leftAlone.empty()) {
            std::string converted = QuoteMboxLines(outcome.message);
            // The blank line before the next "From " line stays.
            const std::string_view lineEnd = LineEndOf(message);
            if (EndsWithBlankLine(message, lineEnd) && !EndsWithBlankLine(converted, lineEnd)) converted += lineEnd;
            UpdateContentLength(converted);
            changed |= converted != message;
            write(converted);
        } else {
            write(message);
        }
    });
    out.write(pending.data(), static_cast<std::streamsize>(pending.size()));
    out.close();
    std::error_code ignored;
    if (!read || !out) {
        fs::remove(temporary, ignored);
        throw Failure{(read ? "cannot write " + target.string() : "cannot read " + path.string())};
    }
    if (options.inPlace && !changed) {
        fs::remove(temporary, ignored);
        return;
    }
    ReplaceWith(temporary, target, options.inPlace && named);
}

}  // namespace

// A file of a folder, or one named on the command line (named: its line is said, and in place
// it keeps FILE~; a folder's files do not, since a Maildir would take FILE~ for a message).
void ConvertFile(const fs::path& path, const fs::path& target, bool named, const Options& options, Tally& tally,
                 Progress& progress) {
    const std::string shown = named && path == "-" ? "(standard input)" : path.string();
    // A message is read whole at once; a large file is looked at first, for an mbox is read a
    // message at a time.
    std::error_code error;
    const bool large = path != "-" && fs::file_size(path, error) > (4u << 20) && !error;
    if (path != "-" && (options.mbox || (large && IsMboxStart(ReadHead(path))))) {
        ConvertMbox(path, target, named, options, tally, progress);
        return;
    }
    const std::string input = ReadInput(path.string());
    if (path != "-" && IsMboxStart(input)) {
        ConvertMbox(path, target, named, options, tally, progress);
        return;
    }
    if (!named && !LooksLikeMessage(input)) {
        ++tally.notMessages;
        Advance(progress, tally, input.size());
        if (!options.inPlace) WriteOutput(target.string(), input);
        if (options.verbose) std::cerr << shown << ": not a message, left as it is\n";
        return;
    }
    const Outcome outcome = ConvertMessage(input, options.force);
    Count(tally, outcome);
    Advance(progress, tally, input.size());
    if (options.inPlace) {
        if (outcome.message != input) {
            if (named) WriteOutput(path.string() + "~", input);
            WriteOutput(path.string(), outcome.message);
        }
    } else {
        WriteOutput(target.string(), outcome.message);
    }
    if (named || options.verbose) std::cerr << shown << ": " << outcome.said << "\n";
}

namespace {

// A Maildir's tmp/ holds messages still being delivered: never touched.
bool IsMaildirTmp(const fs::path& folder) {
    std::error_code error;
    return folder.filename() == "tmp" && fs::is_directory(folder.parent_path() / "cur", error) &&
           fs::is_directory(folder.parent_path() / "new", error);
}

}  // namespace

void ForEachFileIn(const fs::path& folder, const std::function<void(const fs::directory_entry& file, bool link)>& each,
                   std::error_code& error) {
    for (fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, error), end; it != end;
         it.increment(error)) {
        if (error) return;
        const fs::directory_entry& entry = *it;
        if (entry.is_symlink(error)) {
            each(entry, true);
        } else if (entry.is_directory(error)) {
            if (IsMaildirTmp(entry.path())) it.disable_recursion_pending();
        } else if (entry.is_regular_file(error)) {
            each(entry, false);
        }
    }
}

// Every file of folder and of the folders in it (symbolic links are not followed, so no
// loop), written under outDir/NAME/ with the same relative names, or each in place.
void ConvertFolder(const fs::path& folder, const Options& options, Tally& tally, Progress& progress, int& status) {
    const fs::path base = folder.filename().empty() ? folder.parent_path() : folder;
    std::error_code error;
    if (options.outDir) {
        const fs::path in = fs::weakly_canonical(base, error), out = fs::weakly_canonical(*options.outDir, error);
        const auto [mismatch, ignored] = std::mismatch(in.begin(), in.end(), out.begin(), out.end());
        if (mismatch == in.end()) throw Failure{"the output folder " + *options.outDir + " is inside " + folder.string() + ": choose one outside it"};
    }
    fs::path folderMade;  // the output folder made last: a folder's files come together
    ForEachFileIn(base, [&](const fs::directory_entry& entry, bool link) {
        if (link) {
            ++tally.leftAlone["a symbolic link"];
            return;
        }
        const fs::path target = options.outDir ? *options.outDir / base.filename() / entry.path().lexically_relative(base) : entry.path();
        try {
            std::error_code made;
            if (options.outDir && target.parent_path() != folderMade) {
                fs::create_directories(target.parent_path(), made);
                if (made) throw Failure{"cannot write " + target.string() + ": " + made.message()};
                folderMade = target.parent_path();
            }
            ConvertFile(entry.path(), target, false, options, tally, progress);
        } catch (const Failure& failure) {
            if (progress.shown) std::fprintf(stderr, "\r%78s\r", "");
            std::cerr << "glyphory: " << failure.message << "\n";
            ++tally.unreadable;
            status = 1;
        }
    }, error);
    if (error) {
        std::cerr << "glyphory: cannot read all of " << folder.string() << ": " << error.message() << "\n";
        ++tally.unreadable;
        status = 1;
    }
}

uint64_t BytesUnder(const fs::path& path) {
    std::error_code error;
    if (!fs::is_directory(path, error)) return fs::is_regular_file(path, error) ? fs::file_size(path, error) : 0;
    uint64_t total = 0;
    ForEachFileIn(path, [&](const fs::directory_entry& file, bool link) {
        std::error_code unknown;
        if (!link) total += file.file_size(unknown);
    }, error);
    return total;
}
