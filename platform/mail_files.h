// Files of a mail store as its other programs expect them: a file that replaces another is
// made whole under a name of its own, with the other's permission bits (and owner, where the
// run may set it) from the start, and an mbox is locked as delivery agents lock it. A run that
// is interrupted (SIGINT, SIGTERM, SIGHUP, SIGQUIT) leaves neither its temporary files nor its locks.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <streambuf>
#include <string>
#include <string_view>

namespace fs = std::filesystem;

// What a file is, to make another like it and to tell whether it changed.
struct FileState {
    static constexpr uint32_t ANY_OWNER = 0xFFFFFFFF;  // an owner not to be copied
    uint32_t mode = 0;  // permission bits
    uint32_t owner = ANY_OWNER;
    uint32_t group = ANY_OWNER;
    uint64_t size = 0;
    int64_t modified = 0;  // nanoseconds since the epoch
    uint64_t device = 0, inode = 0;  // which file it is
    bool regular = true;
};

// The state of the file at path (a symbolic link followed); nothing, with the system's reason
// in error, when there is none.
[[nodiscard]] std::optional<FileState> ReadFileState(const fs::path& path, std::string& error);

// The interrupting signals held back while the object lives (nested ones too), so that a step
// begun is finished first: a file made and its name noted, a message replaced and its old
// file removed, mail delivered while an mbox was replaced kept.
class SignalsHeld {
public:
    SignalsHeld();
    ~SignalsHeld();
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;
};

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
    // The time the file was last modified, as like's (a Maildir message's tells when it came).
    [[nodiscard]] bool KeepModified(const FileState& like, std::string& error);
    // Closed and renamed to target, which it replaces in one step. One that stands in for a
    // message (replacing) is written to the disk first, so that a crash cannot leave an empty
    // file where the message was; a new file, whose original stays, is not waited for.
    [[nodiscard]] bool MoveTo(const fs::path& target, bool replacing, std::string& error);

private:
    fs::path m_path;
    intptr_t m_file = -1;
    bool m_readOnly = false;
};

// This machine's name, for the unique names of Maildir messages.
[[nodiscard]] std::string HostName();

// A second name for a file, made in one step where the system can (a hard link keeps the
// file's mode and owner), else a copy with its permission bits; an old file of that name goes.
[[nodiscard]] bool KeepCopy(const fs::path& file, const fs::path& copy, std::string& error);

// The locks Debian's mail programs (procmail, Postfix's and Dovecot's delivery agents, mutt)
// honour on an mbox, held until destroyed: the dotlock FILE.lock, made by link() from a file of
// our own and refreshed while held (one is stale when older than LOCK_STALE, or when it names
// a process of this machine that is gone), and a kernel lock (fcntl) on the file itself.
class MailboxLock {
public:
    // The mbox's bytes from its start, read through the lock's own descriptor: to close any
    // other descriptor of the file would let the kernel lock go.
    class Reader : public std::streambuf {
    public:
        explicit Reader(intptr_t file) : m_file(file) {}

    protected:
        int_type underflow() override;

    private:
        intptr_t m_file;
        char m_block[64 * 1024];
    };

    static constexpr std::chrono::seconds LOCK_STALE{1024};
    // Nothing, with the reason in error, when the locks could not be had within wait.
    [[nodiscard]] static std::unique_ptr<MailboxLock> Take(const fs::path& mbox, std::chrono::milliseconds wait,
                                                           std::string& error);
    ~MailboxLock();
    // The mbox as it was when locked.
    [[nodiscard]] const FileState& Locked() const { return m_locked; }
    [[nodiscard]] Reader& Contents() { return *m_reader; }
    // Where the system cannot replace a file that is open (Windows), the reading descriptor
    // is closed; elsewhere it stays, holding the kernel lock.
    void DoneReading();
    // Marks the dotlock as still held, so that no one takes it for stale in a long run.
    void Refresh();
    // After the mbox was replaced: the locks are let go, and what a writer that had opened the
    // old file (one that takes only the kernel lock) then appended to it is returned, to be
    // appended to the new mbox; nothing when that writer still holds the lock after wait.
    [[nodiscard]] std::optional<std::string> ReleaseAndTakeLateMail(std::chrono::milliseconds wait);

private:
    MailboxLock() = default;
    fs::path m_dotlock;
    intptr_t m_file = -1;
    FileState m_locked;
    std::unique_ptr<Reader> m_reader;
    std::chrono::steady_clock::time_point m_refreshed;
};
