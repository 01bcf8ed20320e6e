#include "platform/mail_files.h"

#include <cerrno>
#include <cstring>
#include <random>
#include <thread>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string Reason(const fs::path& path) { return path.string() + ": " + std::strerror(errno); }

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
    return {static_cast<uint32_t>(st.st_mode & 07777), static_cast<uint32_t>(st.st_uid), static_cast<uint32_t>(st.st_gid),
            static_cast<uint64_t>(st.st_size),
            static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + static_cast<int64_t>(st.st_mtim.tv_nsec)};
}

}  // namespace

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
    if (!m_path.empty()) ::unlink(m_path.c_str());
}

bool TemporaryFile::Create(const fs::path& path, const FileState* like, std::string& error) {
    const mode_t mode = like ? static_cast<mode_t>(like->mode) : 0666;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) {
        error = Reason(path);
        return false;
    }
    m_file = fd;
    m_path = path;
    if (like) {
        // The umask may have taken bits away; a file of another owner is given back to it where
        // this run may do so (as root), else it stays the runner's.
        if (::fchmod(fd, mode) != 0) {
            error = Reason(path);
            return false;
        }
        if ((like->owner != ::geteuid() || like->group != ::getegid()) && ::geteuid() == 0 &&
            ::fchown(fd, static_cast<uid_t>(like->owner), static_cast<gid_t>(like->group)) != 0) {
            error = Reason(path);
            return false;
        }
    }
    return true;
}

bool TemporaryFile::Write(std::string_view bytes, std::string& error) {
    if (WriteAll(static_cast<int>(m_file), bytes)) return true;
    error = Reason(m_path);
    return false;
}

bool TemporaryFile::MoveTo(const fs::path& target, std::string& error) {
    const int fd = static_cast<int>(m_file);
    m_file = -1;
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        error = Reason(m_path);
        return false;
    }
    if (::rename(m_path.c_str(), target.c_str()) != 0) {
        error = Reason(target);
        return false;
    }
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
    std::error_code failed;
    fs::copy_file(file, copy, failed);
    if (!failed) fs::permissions(copy, fs::status(file, failed).permissions(), failed);
    if (failed) error = copy.string() + ": " + failed.message();
    return !failed;
}

namespace {

// A dotlock that no living program holds: older than LOCK_STALE, or naming in it a process of
// this machine that is gone.
bool IsStale(const fs::path& dotlock) {
    struct stat st{};
    if (::stat(dotlock.c_str(), &st) != 0) return false;
    if (std::chrono::system_clock::now() - std::chrono::system_clock::from_time_t(st.st_mtime) > MailboxLock::LOCK_STALE)
        return true;
    char text[32] = {};
    const int fd = ::open(dotlock.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const ssize_t read = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    const long pid = read > 0 ? std::strtol(text, nullptr, 10) : 0;
    return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

// The dotlock, by the one way that is safe on every file system: a file of our own with a
// unique name, linked to the lock's name; the link count tells whether the link was made.
bool TakeDotlock(const fs::path& dotlock, std::chrono::steady_clock::time_point deadline, std::string& error) {
    const fs::path own = dotlock.string() + "." + std::to_string(::getpid()) + "." + std::to_string(std::random_device()());
    const int fd = ::open(own.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = Reason(own);
        return false;
    }
    const std::string pid = std::to_string(::getpid()) + "\n";
    const bool written = WriteAll(fd, pid);
    ::close(fd);
    bool taken = false;
    while (written) {
        const int linked = ::link(own.c_str(), dotlock.c_str()) == 0 ? 0 : errno;
        // Over NFS a link may be made though the call failed: the link count says.
        struct stat st{};
        if (linked == 0 || (::stat(own.c_str(), &st) == 0 && st.st_nlink == 2)) {
            taken = true;
            break;
        }
        if (linked != EEXIST) {
            error = dotlock.string() + ": " + std::strerror(linked);
            break;
        }
        if (IsStale(dotlock)) {
            ::unlink(dotlock.c_str());
            continue;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            error = dotlock.string() + " is held by another program";
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (!written) error = Reason(own);
    ::unlink(own.c_str());
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
    return lock;
}

MailboxLock::~MailboxLock() {
    if (m_file >= 0) ::close(static_cast<int>(m_file));  // and with it the kernel lock
    if (!m_dotlock.empty()) ::unlink(m_dotlock.c_str());
}

void MailboxLock::Refresh() {
    const auto now = std::chrono::steady_clock::now();
    if (now - m_refreshed < LOCK_STALE / 8) return;
    m_refreshed = now;
    ::utimensat(AT_FDCWD, m_dotlock.c_str(), nullptr, 0);
}
