// Files of a mail store as its other programs expect them: a file that replaces another is
// made whole under a name of its own, with the other's permission bits (and owner, where the
// run may set it) from the start, and an mbox is locked as delivery agents lock it.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace fs = std::filesystem;

// What a file is, to make another like it and to tell whether it changed.
struct FileState {
    uint32_t mode = 0;  // permission bits
    uint32_t owner = 0;
    uint32_t group = 0;
    uint64_t size = 0;
    int64_t modified = 0;  // nanoseconds since the epoch
};

// The state of the file at path (a symbolic link followed); nothing, with the system's reason
// in error, when there is none.
[[nodiscard]] std::optional<FileState> ReadFileState(const fs::path& path, std::string& error);

// A file written under a temporary name beside where it goes: made only where no file is
// (O_EXCL), with the mode and owner of like from the start, and removed again unless it is
// moved into place. Every failure gives the system's reason in error.
class TemporaryFile {
public:
    TemporaryFile() = default;
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile();

    // Made at path; like: the file it stands in for, or none (the default mode).
    [[nodiscard]] bool Create(const fs::path& path, const FileState* like, std::string& error);
    [[nodiscard]] bool Write(std::string_view bytes, std::string& error);
    // Written to the disk and closed, then renamed to target, which it replaces in one step.
    [[nodiscard]] bool MoveTo(const fs::path& target, std::string& error);
    [[nodiscard]] const fs::path& Path() const { return m_path; }

private:
    fs::path m_path;
    intptr_t m_file = -1;
};

// This machine's name, for the unique names of Maildir messages.
[[nodiscard]] std::string HostName();

// A second name for a file, made in one step where the system can (a hard link keeps the
// file's mode and owner), else a copy with its permission bits; an old file of that name goes.
[[nodiscard]] bool KeepCopy(const fs::path& file, const fs::path& copy, std::string& error);

// The locks Debian's mail programs (procmail, the local delivery agents, mutt) honour on an
// mbox, held until destroyed: the dotlock FILE.lock, made by link() from a file of our own
// and refreshed while held (one left by a program that died is stale after LOCK_STALE), and a
// kernel lock (fcntl) on the file itself, taken in that order as they take them.
class MailboxLock {
public:
    static constexpr std::chrono::seconds LOCK_STALE{1024};
    // Nothing, with the reason in error, when the locks could not be had within wait.
    [[nodiscard]] static std::unique_ptr<MailboxLock> Take(const fs::path& mbox, std::chrono::milliseconds wait,
                                                           std::string& error);
    ~MailboxLock();
    // Marks the dotlock as still held, so that no one takes it for stale in a long run.
    void Refresh();

private:
    MailboxLock() = default;
    fs::path m_dotlock;
    intptr_t m_file = -1;
    std::chrono::steady_clock::time_point m_refreshed;
};
