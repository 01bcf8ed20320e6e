#include "platform/mail_files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <thread>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

// Windows has no mail delivery agent that locks an mbox with a kernel lock, and files carry
// no Unix owner: a file keeps its permission bits as far as the C library has them.
namespace {

std::string Reason(const fs::path& path) { return path.string() + ": " + std::strerror(errno); }

std::string LastError(const fs::path& path) { return path.string() + ": " + std::system_category().message(static_cast<int>(GetLastError())); }

}  // namespace

std::optional<FileState> ReadFileState(const fs::path& path, std::string& error) {
    struct _stat64 st{};
    if (_wstat64(path.c_str(), &st) != 0) {
        error = Reason(path);
        return std::nullopt;
    }
    return FileState{static_cast<uint32_t>(st.st_mode & 0777), 0, 0, static_cast<uint64_t>(st.st_size),
                     static_cast<int64_t>(st.st_mtime) * 1000000000};
}

TemporaryFile::~TemporaryFile() {
    if (m_file >= 0) _close(static_cast<int>(m_file));
    if (!m_path.empty()) _wunlink(m_path.c_str());
}

bool TemporaryFile::Create(const fs::path& path, const FileState* like, std::string& error) {
    const int mode = like && !(like->mode & 0200) ? _S_IREAD : _S_IREAD | _S_IWRITE;
    const int fd = _wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, mode);
    if (fd < 0) {
        error = Reason(path);
        return false;
    }
    m_file = fd;
    m_path = path;
    return true;
}

bool TemporaryFile::Write(std::string_view bytes, std::string& error) {
    while (!bytes.empty()) {
        const unsigned chunk = static_cast<unsigned>(std::min<size_t>(bytes.size(), 1u << 30));
        const int written = _write(static_cast<int>(m_file), bytes.data(), chunk);
        if (written <= 0) {
            error = Reason(m_path);
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

bool TemporaryFile::MoveTo(const fs::path& target, std::string& error) {
    const int fd = static_cast<int>(m_file);
    m_file = -1;
    if (_commit(fd) != 0 || _close(fd) != 0) {
        error = Reason(m_path);
        return false;
    }
    if (!MoveFileExW(m_path.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = LastError(target);
        return false;
    }
    m_path.clear();
    return true;
}

std::string HostName() {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    return GetComputerNameA(name, &size) && size ? std::string(name, size) : "localhost";
}

bool KeepCopy(const fs::path& file, const fs::path& copy, std::string& error) {
    if (!DeleteFileW(copy.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) {
        error = LastError(copy);
        return false;
    }
    if (CreateHardLinkW(copy.c_str(), file.c_str(), nullptr) || CopyFileW(file.c_str(), copy.c_str(), TRUE)) return true;
    error = LastError(copy);
    return false;
}

std::unique_ptr<MailboxLock> MailboxLock::Take(const fs::path& mbox, std::chrono::milliseconds wait, std::string& error) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    const fs::path dotlock = mbox.string() + ".lock";
    for (;;) {
        const int fd = _wopen(dotlock.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
        const int failed = errno;
        if (fd >= 0) {
            _close(fd);
            std::unique_ptr<MailboxLock> lock(new MailboxLock);
            lock->m_dotlock = dotlock;
            lock->m_refreshed = std::chrono::steady_clock::now();
            return lock;
        }
        std::error_code unknown;
        const auto age = fs::file_time_type::clock::now() - fs::last_write_time(dotlock, unknown);
        if (failed == EEXIST && !unknown && age > LOCK_STALE) {
            _wunlink(dotlock.c_str());
            continue;
        }
        if (failed != EEXIST || std::chrono::steady_clock::now() >= deadline) {
            error = failed == EEXIST ? dotlock.string() + " is held by another program" : dotlock.string() + ": " + std::strerror(failed);
            return nullptr;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

MailboxLock::~MailboxLock() {
    if (!m_dotlock.empty()) _wunlink(m_dotlock.c_str());
}

void MailboxLock::Refresh() {
    const auto now = std::chrono::steady_clock::now();
    if (now - m_refreshed < LOCK_STALE / 8) return;
    m_refreshed = now;
    std::error_code ignored;
    fs::last_write_time(m_dotlock, fs::file_time_type::clock::now(), ignored);
}
