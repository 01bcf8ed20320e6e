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
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "cli/maildir.h"
#include "cli/mbox.h"
#include "platform/mail_files.h"

namespace {

void Count(Tally& tally, const Outcome& outcome) {
    ++tally.messages;
    tally.failed += outcome.failed;
    tally.pictographs += outcome.report.Shown();
    tally.imagesCarried += outcome.report.imagesCarried;
    tally.imageBytes += outcome.report.imageBytes;
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
    if (tally.imagesCarried)
        std::fprintf(stderr, "  images carried in the messages: %zu, %zu bytes (%zu bytes each)\n", tally.imagesCarried,
                     tally.imageBytes, tally.imageBytes / tally.imagesCarried);
    if (tally.marked) std::fprintf(stderr, "  marked as converted, no known pictograph: %zu\n", tally.marked);
    for (const auto& [reason, count] : tally.leftAlone) std::fprintf(stderr, "  left alone, %s: %zu\n", reason.c_str(), count);
    if (tally.notMessages) std::fprintf(stderr, "  files that are not messages, left as they are: %zu\n", tally.notMessages);
    if (tally.unreadable) std::fprintf(stderr, "  files that could not be read or written: %zu\n", tally.unreadable);
}

namespace {

// How long a run waits for an mbox's locks before it leaves the mbox as it is.
constexpr std::chrono::seconds LOCK_WAIT{30};

// What a writer that took only the kernel lock appended to the replaced mbox, appended to the
// new one under the locks again; failing that, it stays in the old file, kept as kept.
void KeepLateMail(const fs::path& path, const std::string& late, const std::string& shown, const fs::path& kept) {
    std::string error;
    const std::unique_ptr<MailboxLock> lock = MailboxLock::Take(path, LOCK_WAIT, error);
    std::ofstream out;
    if (lock) {
        lock->DoneReading();
        out.open(path, std::ios::binary | std::ios::app);
        out.write(late.data(), static_cast<std::streamsize>(late.size()));
        out.close();
    }
    if (lock && out) return;
    throw Failure{"cannot add to " + shown + " the mail delivered while it was replaced (" + std::to_string(late.size()) +
                  " bytes, kept at the end of " + kept.string() + "): " + (lock ? SystemReason() : error)};
}

// base, or base and the first number that names no file.
fs::path UnusedName(const std::string& base) {
    std::error_code exists;
    fs::path name = base;
    for (int n = 1; fs::exists(name, exists); ++n) name = base + "." + std::to_string(n);
    return name;
}

// Every message of an mbox converted, written to target (the mbox itself when in place;
// '-': standard output) a message at a time: the "From " lines and the quoting of lines that
// were not converted stay exactly, a converted message is quoted again and its Content-Length
// set. The mbox is read from path, or from input (standard input) when given. In place, the
// mbox stays locked from before it is read until it is replaced, so that a message delivered
// meanwhile waits and lands in the new mbox; should the mbox change all the same (a writer
// that ignores the locks), it is left as it is.
void ConvertMbox(const fs::path& path, std::istream* input, const std::string& shown, const fs::path& target, bool named,
                 const Options& options, Tally& tally, Progress& progress) {
    std::string error;
    const bool standardInput = input != nullptr;
    ++tally.mboxes;
    std::unique_ptr<MailboxLock> lock;
    std::unique_ptr<std::istream> locked;
    std::ifstream file;
    if (options.inPlace) {
        lock = MailboxLock::Take(path, LOCK_WAIT, error);
        if (!lock) throw Failure{"cannot lock " + shown + ", left as it was: " + error};
        locked = std::make_unique<std::istream>(&lock->Contents());
        input = locked.get();
    } else if (!input) {
        file.open(path, std::ios::binary);
        if (!file) throw Failure{"cannot read " + shown + ": " + SystemReason()};
        input = &file;
    }
    // Standard output, a device or a pipe is written to as it is; a file, through a temporary
    // file renamed into place, with the mode of the file it replaces or else of the mbox read.
    std::string none;
    const std::optional<FileState> old =
        target == "-" ? std::nullopt : options.inPlace ? lock->Locked() : ReadFileState(target, none);
    const bool toOutput = target == "-" || (old && !old->regular);
    std::ofstream device;
    std::ostream& direct = target == "-" ? std::cout : device;
    const std::string directName = target == "-" ? std::string("standard output") : target.string();
    TemporaryFile temporary;
    if (toOutput && target != "-") {
        device.open(target, std::ios::binary);
        if (!device) throw Failure{"cannot write " + directName + ": " + SystemReason()};
    } else if (!toOutput) {
        // A copy takes the mbox's mode, not its owner: it is the runner's.
        std::optional<FileState> read = old || standardInput ? std::nullopt : ReadFileState(path, none);
        if (read) read->owner = read->group = FileState::ANY_OWNER;
        if (!temporary.Create(TemporaryBeside(target), old ? &*old : read ? &*read : nullptr, error))
            throw Failure{"cannot write " + error};
    }
    const bool replacing = old.has_value();
    // Written a megabyte at a time: each write is a system call.
    std::string pending;
    const auto flush = [&] {
        if (toOutput ? !direct.write(pending.data(), static_cast<std::streamsize>(pending.size()))
                     : !temporary.Write(pending, error))
            throw Failure{"cannot write " + (toOutput ? directName + ": " + SystemReason() : error)};
        pending.clear();
    };
    const auto write = [&](std::string_view bytes) {
        pending.append(bytes);
        if (pending.size() >= (1u << 20)) flush();
    };
    bool changed = false;
    const bool read = ForEachMboxMessage(*input, [&](std::string_view fromLine, std::string_view message, bool quoted) {
        if (lock) lock->Refresh();
        write(fromLine);
        if (fromLine.empty()) {  // bytes before the first message
            write(message);
            return;
        }
        Outcome outcome = ConvertMessage(quoted ? UnquoteMboxLines(message) : std::string(message), options.force);
        Count(tally, outcome);
        Advance(progress, tally, fromLine.size() + message.size());
        if (options.verbose) {
            const size_t end = fromLine.size() - (fromLine.size() >= 2 && fromLine[fromLine.size() - 2] == '\r' ? 2 : 1);
            Say(shown + ": " + std::string(fromLine.substr(0, end)) + ": " + outcome.summary);  // a bare CR in it is said
        }
        if (outcome.leftAlone.empty()) {
            std::string converted = quoted ? QuoteMboxLines(outcome.message) : QuoteEnvelopeLines(outcome.message);
            // The blank line before the next "From " line stays.
            const std::string_view lineEnd = LineEndOf(message);
            if (EndsWithBlankLine(message, lineEnd) && !EndsWithBlankLine(converted, lineEnd)) converted += lineEnd;
            UpdateContentLength(converted);
            RemoveUidHeader(converted);
            changed |= converted != message;
            write(converted);
        } else {
            write(message);
        }
    });
    if (!read) throw Failure{"cannot read " + shown + ": " + SystemReason()};
    flush();
    if (toOutput) {
        if (!direct.flush()) throw Failure{"cannot write " + directName + ": " + SystemReason()};
        return;
    }
    if (options.inPlace && !changed) return;
    if (options.inPlace) {
        lock->DoneReading();
        // The path must still name the file that was locked and read, as it was.
        const FileState& before = lock->Locked();
        const std::optional<FileState> after = ReadFileState(path, error);
        if (!after || after->device != before.device || after->inode != before.inode || after->size != before.size ||
            after->modified != before.modified)
            throw Failure{shown + " changed while it was converted (written to without its locks): left as it was"};
    }
    // An interruption from here on would leave mail delivered meanwhile in the old file: it
    // waits (for as long as the waits below) until that mail is in the new one. Until then the
    // old file keeps a name, where such mail stays should it not get there: FILE~, or in a
    // folder run (which keeps no FILE~) a FILE.late of its own, removed once it is not needed.
    std::optional<SignalsHeld> held;
    fs::path kept;
    if (options.inPlace) {
        held.emplace();
        kept = named ? fs::path(path.string() + "~") : UnusedName(path.string() + ".late");
        if (!KeepCopy(path, kept, error)) throw Failure{"cannot keep the old mbox: " + error};
    }
    std::error_code ignored;
    if (!temporary.MoveTo(target, replacing, error)) {
        if (options.inPlace && !named) fs::remove(kept, ignored);
        throw Failure{"cannot write " + error};
    }
    if (!options.inPlace) return;
    const std::optional<std::string> late = lock->ReleaseAndTakeLateMail(LOCK_WAIT);
    lock.reset();
    if (!late)
        throw Failure{shown + " was replaced, but a program that had it open still held its lock after " +
                      std::to_string(LOCK_WAIT.count()) + " s: what it writes there stays at the end of " + kept.string()};
    if (!late->empty()) KeepLateMail(path, *late, shown, kept);
    if (!named) fs::remove(kept, ignored);
}

// Standard input with its first bytes, read to tell an mbox from a message, before the rest.
class HeadThenRest : public std::streambuf {
public:
    HeadThenRest(std::string head, std::streambuf* rest) : m_head(std::move(head)), m_rest(rest) {
        setg(m_head.data(), m_head.data(), m_head.data() + m_head.size());
    }

protected:
    int_type underflow() override {
        if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
        const std::streamsize read = m_rest->sgetn(m_block, sizeof m_block);
        if (read <= 0) return traits_type::eof();
        setg(m_block, m_block, m_block + read);
        return traits_type::to_int_type(*gptr());
    }

private:
    std::string m_head;
    std::streambuf* m_rest;
    char m_block[64 * 1024];
};

// A message read whole, converted to target or in place of the file it came from (a
// Maildir's message, maildir, the Maildir way, in place or into a Maildir under --out-dir).
void ConvertOneMessage(std::string input, const std::string& shown, const fs::path& file, bool maildir, const fs::path& target,
                       bool named, const Options& options, Tally& tally, Progress& progress) {
    std::string error;
    const bool intoMaildir = maildir && options.outDir && !named;
    // A copy is as private as the message it came from.
    std::optional<FileState> like = file == "-" ? std::nullopt : ReadFileState(file, error);
    if (!options.inPlace && like) like->owner = like->group = FileState::ANY_OWNER;
    const auto write = [&](std::string_view bytes) {
        intoMaildir ? WriteMaildirMessage(target, bytes, like ? &*like : nullptr)
                    : WriteOutput(target.string(), bytes, like ? &*like : nullptr);
    };
    if (!named && !LooksLikeMessage(input)) {
        ++tally.notMessages;
        Advance(progress, tally, input.size());
        if (!options.inPlace) write(input);
        if (options.verbose) Say(shown + ": not a message, left as it is");
        return;
    }
    const size_t size = input.size();
    const Outcome outcome = ConvertMessage(std::move(input), options.force);
    Count(tally, outcome);
    Advance(progress, tally, size);
    if (!options.inPlace) {
        write(outcome.message);
    } else if (outcome.rewritten) {
        if (!like) throw Failure{"cannot read " + error};
        if (maildir) {
            ReplaceMaildirMessage(file, outcome.message, *like);
        } else {
            if (named && !KeepCopy(file, file.string() + "~", error)) throw Failure{"cannot keep the old message: " + error};
            WriteOutput(file.string(), outcome.message, &*like);
        }
    }
    if (named || options.verbose) Say(shown + ": " + outcome.summary);
}

}  // namespace

// A file of a folder, or one named on the command line (named: its line is said, and in place
// it keeps FILE~; a folder's files do not, since a Maildir would take FILE~ for a message).
// A symbolic link named for --in-place: the file it points to is converted, and the link stays.
void ConvertFile(const fs::path& path, const fs::path& target, bool named, const Options& options, Tally& tally,
                 Progress& progress) {
    if (path == "-") {
        char head[5];
        std::cin.read(head, sizeof head);
        const std::string start(head, static_cast<size_t>(std::cin.gcount()));
        HeadThenRest rest(start, std::cin.rdbuf());
        std::istream in(&rest);
        const std::string shown = "(standard input)";
        if (options.mbox || IsMboxStart(start)) {
            ConvertMbox(path, &in, shown, target, named, options, tally, progress);
            return;
        }
        std::string input{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        if (std::cin.bad()) throw Failure{"cannot read standard input: " + SystemReason()};
        ConvertOneMessage(std::move(input), shown, path, false, target, named, options, tally, progress);
        return;
    }
    std::error_code error;
    const fs::path file = options.inPlace && named ? fs::canonical(path, error) : path;
    if (error) throw Failure{"cannot read " + path.string() + ": " + error.message()};
    // A Maildir's file is one message, never an mbox; a link to one would be left pointing at
    // nothing once the message takes its new name.
    const bool maildir = IsMaildirMessage(file);
    if (maildir && file != path && fs::is_symlink(path, error))
        throw Failure{path.string() + " is a link to a message of a Maildir: convert the Maildir itself"};
    const fs::path out = options.inPlace ? file : target;
    // A message is read whole at once; a large file is looked at first, for an mbox is read a
    // message at a time.
    const bool large = fs::file_size(file, error) > (4u << 20) && !error;
    if (!maildir && (options.mbox || (large && IsMboxStart(ReadHead(file)))))
        return ConvertMbox(file, nullptr, path.string(), out, named, options, tally, progress);
    std::string input = ReadInput(file.string());
    if (!maildir && IsMboxStart(input)) return ConvertMbox(file, nullptr, path.string(), out, named, options, tally, progress);
    ConvertOneMessage(std::move(input), path.string(), file, maildir, out, named, options, tally, progress);
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
                   std::string& unread) {
    std::error_code error;
    const auto note = [&](const fs::path& path, const std::error_code& reason) {
        if (unread.empty()) unread = path.string() + ": " + reason.message();
    };
    // The walk passes over a folder it may not read without a word, the first one too: it is said.
    const auto probe = [&](const fs::path& path) {
        std::error_code denied;
        const fs::directory_iterator first(path, denied);
        if (denied) note(path, denied);
    };
    probe(folder);
    for (fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, error), end; it != end;
         it.increment(error)) {
        if (error) return note(folder, error);
        const fs::directory_entry& entry = *it;
        if (entry.is_symlink(error)) {
            each(entry, true);
        } else if (entry.is_directory(error)) {
            if (IsMaildirTmp(entry.path())) {
                it.disable_recursion_pending();
                continue;
            }
            probe(entry.path());
        } else if (entry.is_regular_file(error)) {
            each(entry, false);
        }
    }
    if (error) note(folder, error);
}

// Every file of folder and of the folders in it (symbolic links are not followed, so no
// loop), written under outDir/NAME/ with the same relative names, or each in place. The files
// are listed before any is converted: in place, a Maildir's converted messages take new names
// in the folders being read.
void ConvertFolder(const fs::path& folder, const Options& options, Tally& tally, Progress& progress, int& status) {
    const fs::path base = folder.filename().empty() ? folder.parent_path() : folder;
    std::string unread;
    std::vector<std::pair<fs::path, bool>> files;
    ForEachFileIn(base, [&](const fs::directory_entry& entry, bool link) { files.emplace_back(entry.path(), link); }, unread);
    const fs::path name = OutputNameOf(folder);
    fs::path folderMade;  // the output folder made last: a folder's files come together
    for (const auto& [file, link] : files) {
        if (link) {
            ++tally.leftAlone["a symbolic link"];
            continue;
        }
        const fs::path target = options.outDir ? *options.outDir / name / file.lexically_relative(base) : file;
        try {
            std::error_code made;
            if (options.outDir && target.parent_path() != folderMade) {
                fs::create_directories(target.parent_path(), made);
                if (made) throw Failure{"cannot write " + target.string() + ": " + made.message()};
                folderMade = target.parent_path();
            }
            ConvertFile(file, target, false, options, tally, progress);
        } catch (const Failure& failure) {
            SayFailure(failure.message, progress);
            ++tally.unreadable;
            status = 1;
        } catch (const std::bad_alloc&) {
            SayFailure(file.string() + ": out of memory, left as it was", progress);
            ++tally.unreadable;
            status = 1;
        } catch (const std::exception& failure) {
            SayFailure(file.string() + ": " + failure.what() + ", left as it was", progress);
            ++tally.unreadable;
            status = 1;
        }
    }
    if (!unread.empty()) {
        SayFailure("cannot read all of " + folder.string() + ": " + unread, progress);
        ++tally.unreadable;
        status = 1;
    }
}

void SayFailure(const std::string& message, const Progress& progress) {
    if (progress.shown) std::fprintf(stderr, "\r%78s\r", "");
    Say("glyphory: " + message);
}

fs::path OutputNameOf(const fs::path& input) {
    fs::path normal = fs::absolute(input).lexically_normal();
    if (normal.filename().empty()) normal = normal.parent_path();
    return normal.filename().empty() ? fs::path("root") : normal.filename();
}

uint64_t BytesUnder(const fs::path& path) {
    std::error_code error;
    if (!fs::is_directory(path, error)) return fs::is_regular_file(path, error) ? fs::file_size(path, error) : 0;
    uint64_t total = 0;
    std::string unread;
    ForEachFileIn(path, [&](const fs::directory_entry& file, bool link) {
        std::error_code unknown;
        if (!link) total += file.file_size(unknown);
    }, unread);
    return total;
}
