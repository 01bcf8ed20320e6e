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

// Windows has no mail delivery agent that locks an mbox with a kernel lock, cannot replace a
// file that is open, and gives files no Unix owner: a file keeps its read-only attribute.
namespace {

std::string Reason(const fs::path& path, int error = errno) { return path.string() + ": " + std::strerror(error); }

std::string LastError(const fs::path& path) {
    return path.string() + ": " + std::system_category().message(static_cast<int>(GetLastError()));
}

FileState StateOf(const struct _stat64& st) {
    FileState state;
    state.mode = static_cast<uint32_t>(st.st_mode & 0777);
    state.size = static_cast<uint64_t>(st.st_size);
    state.modified = static_cast<int64_t>(st.st_mtime) * 1000000000;
    state.device = static_cast<uint64_t>(st.st_dev);
    state.inode = static_cast<uint64_t>(st.st_ino);
    state.regular = (st.st_mode & _S_IFMT) == _S_IFREG;
    return state;
}

}  // namespace

// Nothing interrupts a run to be held back: no handler removes files on Ctrl+C here.
SignalsHeld::SignalsHeld() = default;
SignalsHeld::~SignalsHeld() = default;

std::optional<FileState> ReadFileState(const fs::path& path, std::string& error) {
    struct _stat64 st{};
    if (_wstat64(path.c_str(), &st) != 0) {
        error = Reason(path);
        return std::nullopt;
    }
    return StateOf(st);
}

TemporaryFile::~TemporaryFile() {
    if (m_file >= 0) _close(static_cast<int>(m_file));
    if (!m_path.empty()) _wunlink(m_path.c_str());
}

// Made writable, so that it can be removed whatever happens; made read-only once in place.
bool TemporaryFile::Create(const fs::path& path, const FileState* like, std::string& error) {
    const int fd = _wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
    if (fd < 0) {
        error = Reason(path);
        return false;
    }
    m_file = fd;
    m_path = path;
    m_readOnly = like && !(like->mode & 0200);
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

bool TemporaryFile::KeepModified(const FileState& like, std::string& error) {
    const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(static_cast<int>(m_file)));
    // 100-nanosecond steps since 1601.
    const uint64_t ticks = static_cast<uint64_t>(like.modified / 100) + 116444736000000000ull;
    const FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    if (SetFileTime(handle, nullptr, nullptr, &time)) return true;
    error = LastError(m_path);
    return false;
}

bool TemporaryFile::MoveTo(const fs::path& target, bool replacing, std::string& error) {
    const int fd = static_cast<int>(m_file);
    m_file = -1;
    const bool committed = !replacing || _commit(fd) == 0;
    const int failure = errno;
    if (_close(fd) != 0 || !committed) {
        error = Reason(m_path, committed ? errno : failure);
        return false;
    }
    if (!MoveFileExW(m_path.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | (replacing ? MOVEFILE_WRITE_THROUGH : 0))) {
        error = LastError(target);
        return false;
    }
    m_path.clear();
    if (m_readOnly) _wchmod(target.c_str(), _S_IREAD);
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
    std::unique_ptr<MailboxLock> lock(new MailboxLock);
    for (;;) {
        const int fd = _wopen(dotlock.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
        const int failed = errno;
        if (fd >= 0) {
            _close(fd);
            lock->m_dotlock = dotlock;
            break;
        }
        if (failed != EEXIST || std::chrono::steady_clock::now() >= deadline) {
            error = failed == EEXIST ? dotlock.string() + " is held by another program" : Reason(dotlock, failed);
            return nullptr;
        }
        std::error_code unknown;
        const auto age = fs::file_time_type::clock::now() - fs::last_write_time(dotlock, unknown);
        if (!unknown && age > LOCK_STALE && _wunlink(dotlock.c_str()) != 0 && errno != ENOENT) {
            error = dotlock.string() + " is stale, but " + std::strerror(errno);
            return nullptr;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    lock->m_refreshed = std::chrono::steady_clock::now();
    const int fd = _wopen(mbox.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    struct _stat64 st{};
    if (fd < 0 || _fstat64(fd, &st) != 0) {
        error = Reason(mbox);
        if (fd >= 0) _close(fd);
        return nullptr;
    }
    lock->m_file = fd;
    lock->m_locked = StateOf(st);
    lock->m_reader = std::make_unique<Reader>(fd);
    return lock;
}

MailboxLock::Reader::int_type MailboxLock::Reader::underflow() {
    const int read = _read(static_cast<int>(m_file), m_block, sizeof m_block);
    if (read < 0) throw std::system_error(errno, std::generic_category(), "cannot read the mbox");
    if (read == 0) return traits_type::eof();
    setg(m_block, m_block, m_block + read);
    return traits_type::to_int_type(m_block[0]);
}

void MailboxLock::DoneReading() {
    if (m_file >= 0) _close(static_cast<int>(m_file));
    m_file = -1;
}

MailboxLock::~MailboxLock() {
    DoneReading();
    if (!m_dotlock.empty()) _wunlink(m_dotlock.c_str());
}

void MailboxLock::Refresh() {
    const auto now = std::chrono::steady_clock::now();
    if (now - m_refreshed < LOCK_STALE / 8) return;
    m_refreshed = now;
    std::error_code ignored;
    fs::last_write_time(m_dotlock, fs::file_time_type::clock::now(), ignored);
}

std::optional<std::string> MailboxLock::ReleaseAndTakeLateMail(std::chrono::milliseconds) {
    DoneReading();
    _wunlink(m_dotlock.c_str());
    m_dotlock.clear();
    return std::string();
}
