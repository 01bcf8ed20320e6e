#include "platform/mail_files.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <random>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string Reason(const fs::path& path, int error = errno) { return path.string() + ": " + std::strerror(error); }

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

FileState StateOf(const struct stat& st) {
    FileState state;
    state.mode = static_cast<uint32_t>(st.st_mode & 07777);
    state.owner = static_cast<uint32_t>(st.st_uid);
    state.group = static_cast<uint32_t>(st.st_gid);
    state.size = static_cast<uint64_t>(st.st_size);
    state.modified = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + static_cast<int64_t>(st.st_mtim.tv_nsec);
    state.device = static_cast<uint64_t>(st.st_dev);
    state.inode = static_cast<uint64_t>(st.st_ino);
    state.regular = S_ISREG(st.st_mode);
    return state;
}

// What an interrupted run removes: its temporary files and locks. The signal handler may only
// read plain memory and unlink, so the names stand in fixed slots, which hold names only while
// their files are there.
constexpr int CLEANUP_SLOTS = 8;
constexpr int INTERRUPTING[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
char s_cleanup[CLEANUP_SLOTS][4096];
volatile std::sig_atomic_t s_cleanupUsed[CLEANUP_SLOTS];

extern "C" void RemoveAndDie(int signal) {
    for (int slot = 0; slot < CLEANUP_SLOTS; ++slot)
        if (s_cleanupUsed[slot]) ::unlink(s_cleanup[slot]);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// The slot that now names path, or -1 when none is free (the file is then only removed by
// its owner, as before an interruption).
int RemoveIfInterrupted(const fs::path& path) {
    static const bool installed = [] {
        for (const int signal : INTERRUPTING) std::signal(signal, RemoveAndDie);
        // A file grown past the size limit fails to be written, as a full disk does, and is
        // removed, instead of ending the run with its temporary file and locks left behind.
        std::signal(SIGXFSZ, SIG_IGN);
        return true;
    }();
    (void)installed;
    if (path.native().size() >= sizeof s_cleanup[0]) return -1;
    for (int slot = 0; slot < CLEANUP_SLOTS; ++slot) {
        if (s_cleanupUsed[slot]) continue;
        std::memcpy(s_cleanup[slot], path.c_str(), path.native().size() + 1);
        s_cleanupUsed[slot] = 1;
        return slot;
    }
    return -1;
}

// The signal mask before the outermost SignalsHeld, and how many are alive.
sigset_t s_maskBeforeHeld;
int s_heldDepth = 0;

void Forget(const fs::path& path) {
    for (int slot = 0; slot < CLEANUP_SLOTS; ++slot)
        if (s_cleanupUsed[slot] && path.native() == s_cleanup[slot]) s_cleanupUsed[slot] = 0;
}

}  // namespace

SignalsHeld::SignalsHeld() {
    if (s_heldDepth++ > 0) return;
    sigset_t held;
    sigemptyset(&held);
    for (const int signal : INTERRUPTING) sigaddset(&held, signal);
    sigprocmask(SIG_BLOCK, &held, &s_maskBeforeHeld);
}

SignalsHeld::~SignalsHeld() {
    if (--s_heldDepth == 0) sigprocmask(SIG_SETMASK, &s_maskBeforeHeld, nullptr);
}

std::optional<FileState> ReadFileState(const fs::path& path, std::string& error) {
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) {
        error = Reason(path);
        return std::nullopt;
    }
    return StateOf(st);
}

TemporaryFile::~TemporaryFile() {
    if (m_file >= 0) ::close(static_cast<int>(m_file));
    if (m_path.empty()) return;
    ::unlink(m_path.c_str());
    Forget(m_path);
}

bool TemporaryFile::Create(const fs::path& path, const FileState* like, std::string& error) {
    const mode_t mode = like ? static_cast<mode_t>(like->mode) : 0666;
    {
        const SignalsHeld held;
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd < 0) {
            error = Reason(path);
            return false;
        }
        m_file = fd;
        m_path = path;
        RemoveIfInterrupted(path);
    }
    const int fd = static_cast<int>(m_file);
    if (!like) return true;
    // The umask may have taken bits away; a file of another owner is given back to it where
    // this run may do so (as root), else it stays the runner's.
    const bool otherOwner = like->owner != FileState::ANY_OWNER && (like->owner != ::geteuid() || like->group != ::getegid());
    if (otherOwner && ::geteuid() == 0) {
        if (::fchmod(fd, mode) == 0 && ::fchown(fd, static_cast<uid_t>(like->owner), static_cast<gid_t>(like->group)) == 0)
            return true;
        error = Reason(path);
        return false;
    }
    // Else the group stays where the runner belongs to it (a mail group's mbox); where it
    // cannot, no other group is given what the file's own group could do.
    const bool otherGroup = like->group != FileState::ANY_OWNER && like->group != ::getegid() &&
                            ::fchown(fd, static_cast<uid_t>(-1), static_cast<gid_t>(like->group)) != 0;
    if (::fchmod(fd, otherGroup ? mode & ~070 : mode) != 0) {
        error = Reason(path);
        return false;
    }
    return true;
}

bool TemporaryFile::Write(std::string_view bytes, std::string& error) {
    if (WriteAll(static_cast<int>(m_file), bytes)) return true;
    error = Reason(m_path);
    return false;
}

bool TemporaryFile::KeepModified(const FileState& like, std::string& error) {
    const struct timespec times[2] = {{0, UTIME_OMIT},
                                      {static_cast<time_t>(like.modified / 1000000000), static_cast<long>(like.modified % 1000000000)}};
    if (::futimens(static_cast<int>(m_file), times) == 0) return true;
    error = Reason(m_path);
    return false;
}

bool TemporaryFile::MoveTo(const fs::path& target, bool replacing, std::string& error) {
    const int fd = static_cast<int>(m_file);
    m_file = -1;
    const bool synced = !replacing || ::fsync(fd) == 0;
    const int failure = errno;
    if (::close(fd) != 0 || !synced) {
        error = Reason(m_path, synced ? errno : failure);
        return false;
    }
    const SignalsHeld held;
    if (::rename(m_path.c_str(), target.c_str()) != 0) {
        error = Reason(target);
        return false;
    }
    Forget(m_path);
    m_path.clear();
    return true;
}

std::string HostName() {
    char name[256] = {};
    return ::gethostname(name, sizeof name - 1) == 0 && name[0] ? name : "localhost";
}

bool KeepCopy(const fs::path& file, const fs::path& copy, std::string& error) {
    if (::unlink(copy.c_str()) != 0 && errno != ENOENT) {
        error = Reason(copy);
        return false;
    }
    if (::link(file.c_str(), copy.c_str()) == 0) return true;
    error = Reason(copy);
    return false;
}

namespace {

// A dotlock that no living program holds: older than LOCK_STALE, or naming in it (as its
// process number, alone or before ":" and this machine's name) a process here that is gone.
bool IsStale(const fs::path& dotlock) {
    struct stat st{};
    if (::stat(dotlock.c_str(), &st) != 0) return false;
    if (std::chrono::system_clock::now() - std::chrono::system_clock::from_time_t(st.st_mtime) > MailboxLock::LOCK_STALE)
        return true;
    char text[300] = {};
    const int fd = ::open(dotlock.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const ssize_t read = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    char* end = nullptr;
    const long pid = read > 0 ? std::strtol(text, &end, 10) : 0;
    if (pid <= 0) return false;
    const std::string_view rest(end);
    const bool here = rest.empty() || rest == "\n" || (rest.front() == ':' && rest.substr(1, rest.find('\n') - 1) == HostName());
    return here && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

// The dotlock, by the one way that is safe on every file system: a file of our own with a
// unique name, linked to the lock's name; the link count tells whether the link was made.
bool TakeDotlock(const fs::path& dotlock, std::chrono::steady_clock::time_point deadline, std::string& error) {
    const fs::path own = dotlock.string() + "." + std::to_string(::getpid()) + "." + std::to_string(std::random_device()());
    std::optional<SignalsHeld> held(std::in_place);
    const int fd = ::open(own.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = Reason(own);
        return false;
    }
    RemoveIfInterrupted(own);
    held.reset();
    const std::string pid = std::to_string(::getpid()) + ":" + HostName() + "\n";
    bool taken = false;
    if (!WriteAll(fd, pid)) error = Reason(own);
    else for (;;) {
        held.emplace();  // a lock that is made is noted before any interruption
        const int linked = ::link(own.c_str(), dotlock.c_str()) == 0 ? 0 : errno;
        if (linked == 0) RemoveIfInterrupted(dotlock);
        // Over NFS a link may be made though the call failed: the link count says.
        struct stat st{};
        if (linked == 0 || (::stat(own.c_str(), &st) == 0 && st.st_nlink == 2)) {
            if (linked != 0) RemoveIfInterrupted(dotlock);
            taken = true;
            break;
        }
        held.reset();
        if (linked != EEXIST) {
            error = Reason(dotlock, linked);
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            error = dotlock.string() + " is held by another program";
            break;
        }
        if (IsStale(dotlock) && ::unlink(dotlock.c_str()) != 0 && errno != ENOENT) {
            error = dotlock.string() + " is stale, but " + std::strerror(errno);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ::close(fd);
    held.emplace();
    ::unlink(own.c_str());
    Forget(own);
    return taken;
}

}  // namespace

std::unique_ptr<MailboxLock> MailboxLock::Take(const fs::path& mbox, std::chrono::milliseconds wait, std::string& error) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    std::unique_ptr<MailboxLock> lock(new MailboxLock);
    if (!TakeDotlock(mbox.string() + ".lock", deadline, error)) return nullptr;
    lock->m_dotlock = mbox.string() + ".lock";
    lock->m_refreshed = std::chrono::steady_clock::now();
    const int fd = ::open(mbox.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        error = Reason(mbox);
        return nullptr;
    }
    lock->m_file = fd;
    struct flock whole{};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    while (::fcntl(fd, F_SETLK, &whole) != 0) {
        if ((errno != EACCES && errno != EAGAIN) || std::chrono::steady_clock::now() >= deadline) {
            error = errno == EACCES || errno == EAGAIN ? mbox.string() + " is locked by another program" : Reason(mbox);
            return nullptr;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    struct stat st{};
    if (::fstat(fd, &st) != 0) {
        error = Reason(mbox);
        return nullptr;
    }
    lock->m_locked = StateOf(st);
    lock->m_reader = std::make_unique<Reader>(fd);
    return lock;
}

MailboxLock::Reader::int_type MailboxLock::Reader::underflow() {
    ssize_t read;
    do read = ::read(static_cast<int>(m_file), m_block, sizeof m_block);
    while (read < 0 && errno == EINTR);
    if (read < 0) throw std::system_error(errno, std::generic_category(), "cannot read the mbox");
    if (read == 0) return traits_type::eof();
    setg(m_block, m_block, m_block + read);
    return traits_type::to_int_type(m_block[0]);
}

void MailboxLock::DoneReading() {}

MailboxLock::~MailboxLock() {
    if (m_file >= 0) ::close(static_cast<int>(m_file));  // and with it the kernel lock
    if (m_dotlock.empty()) return;
    ::unlink(m_dotlock.c_str());
    Forget(m_dotlock);
}

void MailboxLock::Refresh() {
    const auto now = std::chrono::steady_clock::now();
    if (now - m_refreshed < LOCK_STALE / 8) return;
    m_refreshed = now;
    ::utimensat(AT_FDCWD, m_dotlock.c_str(), nullptr, 0);
}

std::optional<std::string> MailboxLock::ReleaseAndTakeLateMail(std::chrono::milliseconds wait) {
    const int fd = static_cast<int>(m_file);
    m_file = -1;
    struct flock whole{};
    whole.l_type = F_UNLCK;
    whole.l_whence = SEEK_SET;
    ::fcntl(fd, F_SETLK, &whole);
    ::unlink(m_dotlock.c_str());
    Forget(m_dotlock);
    m_dotlock.clear();
    // A writer that waited for the kernel lock alone holds the old file open: it writes as soon
    // as the lock is free. Given a moment, then waited for until it is done, what it wrote is
    // read back.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    whole.l_type = F_WRLCK;
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (::fcntl(fd, F_SETLK, &whole) != 0) {
        if ((errno != EACCES && errno != EAGAIN) || std::chrono::steady_clock::now() >= deadline) {
            ::close(fd);
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    std::string late;
    struct stat st{};
    if (::fstat(fd, &st) == 0 && static_cast<uint64_t>(st.st_size) > m_locked.size) {
        late.resize(static_cast<size_t>(static_cast<uint64_t>(st.st_size) - m_locked.size));
        const ssize_t read = ::pread(fd, late.data(), late.size(), static_cast<off_t>(m_locked.size));
        late.resize(read > 0 ? static_cast<size_t>(read) : 0);
    }
    ::close(fd);
    return late;
}
