#include "cli/maildir.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>

#include "cli/conversion.h"
#include "platform/mail_files.h"

namespace {

// The size the message has with CR LF line ends, as IMAP counts it.
uint64_t CrLfSize(std::string_view message) {
    uint64_t size = message.size();
    for (size_t lf = message.find('\n'); lf != std::string_view::npos; lf = message.find('\n', lf + 1))
        if (lf == 0 || message[lf - 1] != '\r') ++size;
    return size;
}

// The name without its flags (":2,..."), where the sizes stand.
size_t EndOfUnique(std::string_view name) { return std::min(name.find(':'), name.size()); }

// The value of ",X=" in the unique part of a name replaced by value, where it stands.
void SetField(std::string& name, std::string_view field, uint64_t value) {
    const size_t at = name.substr(0, EndOfUnique(name)).find(field);
    if (at == std::string::npos) return;
    const size_t start = at + field.size();
    size_t end = start;
    while (end < name.size() && name[end] >= '0' && name[end] <= '9') ++end;
    name.replace(start, end - start, std::to_string(value));
}

// A name no other message of any Maildir has: the time, random bits drawn once per run and a
// count, and the machine's name ('/' and ':' written as Maildir asks).
std::string UniqueName() {
    static const uint64_t salt = uint64_t{std::random_device()()} << 32 | std::random_device()();
    static uint64_t count = 0;
    static const std::string host = [] {
        std::string name;
        for (const char c : HostName()) name += c == '/' ? "\\057" : c == ':' ? "\\072" : std::string(1, c);
        return name;
    }();
    const auto now = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::system_clock::now().time_since_epoch());
    char unique[96];
    std::snprintf(unique, sizeof unique, "%lld.M%06lldQ%lluR%016llx.", static_cast<long long>(now.count() / 1000000),
                  static_cast<long long>(now.count() % 1000000), static_cast<unsigned long long>(++count),
                  static_cast<unsigned long long>(salt));
    return unique + host;
}

// A path with "." and ".." taken out: the folders of a Maildir are told by their names.
fs::path Normal(const fs::path& path) { return fs::absolute(path).lexically_normal(); }

fs::path TmpOf(const fs::path& message) { return Normal(message).parent_path().parent_path() / "tmp"; }

// Written in the Maildir's tmp/, then moved to target; a message in place (keepTime) keeps the
// time it came (its modification time, which an IMAP server shows as the date it was
// received), and is on the disk before its old name goes.
void WriteThroughTmp(const fs::path& target, std::string_view message, const FileState* like, bool keepTime) {
    TemporaryFile temporary;
    std::string error;
    if (!temporary.Create(TmpOf(target) / UniqueName(), like, error) || !temporary.Write(message, error) ||
        (keepTime && !temporary.KeepModified(*like, error)) || !temporary.MoveTo(target, keepTime, error))
        throw Failure{"cannot write " + error};
}

}  // namespace

bool IsMaildirMessage(const fs::path& file) {
    const fs::path folder = Normal(file).parent_path();
    if (folder.filename() != "cur" && folder.filename() != "new") return false;
    std::error_code error;
    const fs::path root = folder.parent_path();
    return fs::is_directory(root / "cur", error) && fs::is_directory(root / "new", error) &&
           fs::is_directory(root / "tmp", error);
}

std::string WithTrueSizes(std::string_view name, std::string_view message) {
    std::string sized(name);
    SetField(sized, ",S=", message.size());
    SetField(sized, ",W=", CrLfSize(message));
    return sized;
}

std::string NewMaildirName(std::string_view name, std::string_view message) {
    const size_t unique = EndOfUnique(name);
    std::string fresh = UniqueName() + ",S=" + std::to_string(message.size());
    if (name.substr(0, unique).find(",W=") != std::string_view::npos) fresh += ",W=" + std::to_string(CrLfSize(message));
    return fresh.append(name.substr(unique));
}

void ReplaceMaildirMessage(const fs::path& file, std::string_view message, const FileState& like) {
    const fs::path replacement = Normal(file).parent_path() / NewMaildirName(file.filename().string(), message);
    const SignalsHeld held;  // no interruption between the new name and the old one's removal
    WriteThroughTmp(replacement, message, &like, true);
    // A message renamed (its flags changed) or removed meanwhile stays as its reader left it.
    std::error_code error, ignored;
    if (fs::remove(file, error)) return;
    fs::remove(replacement, ignored);
    throw Failure{file.string() + (error ? " cannot be replaced: " + error.message() : " was renamed or removed while it was converted") +
                  "; left as it is"};
}

void WriteMaildirMessage(const fs::path& target, std::string_view message, const FileState* like) {
    // The copy is a Maildir, with all three folders, whichever of them its messages stand in.
    for (const char* folder : {"tmp", "new", "cur"}) {
        const fs::path made = TmpOf(target).parent_path() / folder;
        std::error_code error;
        fs::create_directories(made, error);
        if (error) throw Failure{"cannot write " + made.string() + ": " + error.message()};
    }
    WriteThroughTmp(target.parent_path() / WithTrueSizes(target.filename().string(), message), message, like, false);
}
