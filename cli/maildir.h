// Maildir messages replaced the way Maildir asks: written whole in tmp/, then moved into cur/
// or new/ under a name of their own that tells their true size, and only then the old name
// removed. A server such as Dovecot trusts the size in a name (",S=") and caches it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace fs = std::filesystem;

struct FileState;

// A file in the cur/ or new/ of a Maildir (a folder that holds cur/, new/ and tmp/).
[[nodiscard]] bool IsMaildirMessage(const fs::path& file);

// The name with its sizes set for message: ",S=" the file's size and ",W=" its size with CR LF
// line ends, each where the name has it; its flags (":2,...") and all else kept.
[[nodiscard]] std::string WithTrueSizes(std::string_view name, std::string_view message);

// A new unique name for message in place of the name: its flags kept, and ",S=" (with ",W="
// where the name had one) telling its true size.
[[nodiscard]] std::string NewMaildirName(std::string_view name, std::string_view message);

// message written in place of the Maildir message file, with like's mode, owner and time;
// throws Failure when it cannot, or when the file was renamed or removed meanwhile (its new
// message is then removed again: the Maildir holds the message once, as it was).
void ReplaceMaildirMessage(const fs::path& file, std::string_view message, const FileState& like);

// message written as the Maildir message target (a new one; a file of that name is replaced),
// through the tmp/ of target's Maildir.
void WriteMaildirMessage(const fs::path& target, std::string_view message, const FileState* like);
