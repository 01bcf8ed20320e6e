#include "cli/conversion.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <random>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "host/mail_host.h"
#include "mime/entity_kind.h"
#include "mime/message_rewriter.h"
#include "mime/related_images.h"
#include "platform/mail_files.h"
#include "render/pictograph_map.h"
#include "render/utf8.h"
#include "settings/plugin_settings.h"
#include "shell/convert_command.h"

const char* CarrierName(CarrierCode carrier) {
    switch (carrier) {
        case CARRIER_AU: return "au";
        case CARRIER_DOCOMO: return "docomo";
        case CARRIER_SOFTBANK: return "softbank";
        default: return "no carrier";
    }
}

// The system's reason for the last failure of a C library call.
std::string SystemReason() { return std::error_code(errno, std::generic_category()).message(); }

std::string ReadInput(const std::string& path) {
    if (path == "-") return std::string(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    std::ifstream in(path, std::ios::binary);
    if (!in) throw Failure{"cannot read " + path + ": " + SystemReason()};
    // A regular file is read at once into a string of its size (one more byte tells that it
    // grew); a pipe or a device has none, and is read in growing blocks.
    std::error_code error;
    const uintmax_t known = fs::file_size(path, error);  // only a regular file has one
    std::string text;
    for (size_t size = 0;;) {
        text.resize(size + (known > 0 && !error && size == 0 ? static_cast<size_t>(known) + 1 : std::max<size_t>(64 * 1024, size)));
        in.read(text.data() + size, static_cast<std::streamsize>(text.size() - size));
        size += static_cast<size_t>(in.gcount());
        if (!in) {
            text.resize(size);
            break;
        }
    }
    if (in.bad()) throw Failure{"cannot read " + path + ": " + SystemReason()};
    return text;
}

std::string Printable(std::string_view text) {
    std::string shown;
    shown.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const Utf8Char c = DecodeUtf8(text, i);
        // C0 controls, DEL, the C1 controls (as characters or as bytes of no UTF-8 character).
        if (c.valid && c.cp >= 0x20 && c.cp != 0x7F && !(c.cp >= 0x80 && c.cp <= 0x9F)) {
            shown.append(text.substr(i, c.length));
            i += c.length;
            continue;
        }
        for (size_t end = i + c.length; i < end; ++i) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned char>(text[i]));
            shown += escaped;
        }
    }
    return shown;
}

void Say(std::string_view line) {
    const std::string shown = Printable(line) + "\n";
    std::fwrite(shown.data(), 1, shown.size(), stderr);
}

// A name beside the target that no other run picks: random bits drawn once per run and a
// count (a folder writes thousands); the file is made only where none is.
fs::path TemporaryBeside(const fs::path& target) {
    static const uint64_t salt = uint64_t{std::random_device()()} << 32 | std::random_device()();
    static uint64_t count = 0;
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".glyphory-%016llx-%llu.tmp", static_cast<unsigned long long>(salt),
                  static_cast<unsigned long long>(++count));
    return target.string() + suffix;
}

// Written to a temporary file beside the target and renamed into place: never half-written,
// never readable by more than the target is. A file replaced keeps its permission bits (a
// mail file of 0600 stays 0600) and owner; a new one takes those of like, when given. What is
// no regular file (a device, a pipe) is written to as it is.
void WriteOutput(const std::string& path, std::string_view bytes, const FileState* like) {
    std::string error;
    const std::optional<FileState> old = path == "-" ? std::nullopt : ReadFileState(path, error);
    if (path == "-" || (old && !old->regular)) {
        std::ofstream file;
        if (path != "-") file.open(path, std::ios::binary);
        std::ostream& out = path == "-" ? std::cout : file;
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) throw Failure{"cannot write " + (path == "-" ? std::string("standard output") : path) + ": " + SystemReason()};
        return;
    }
    TemporaryFile temporary;
    if (!temporary.Create(TemporaryBeside(path), old ? &*old : like, error) || !temporary.Write(bytes, error) ||
        !temporary.MoveTo(path, old.has_value(), error))
        throw Failure{"cannot write " + error};
}

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    size_t pos = 0;
    for (size_t at = text.find(from); at != std::string_view::npos; at = text.find(from, pos)) {
        out.append(text.substr(pos, at - pos)).append(to);
        pos = at + from.size();
    }
    return out.append(text.substr(pos));
}

std::string WithCrLfLines(std::string message) {
    return message.find("\r\n") == std::string::npos ? ReplaceAll(message, "\n", "\r\n") : std::move(message);
}

namespace {

Outcome Unchanged(std::string message, const char* reason) {
    Outcome outcome;
    outcome.message = std::move(message);
    outcome.summary = std::string("unchanged: ") + reason;
    outcome.leftAlone = reason;
    return outcome;
}

}  // namespace

// The built-in host holds the message itself, not a copy, and the result is kept where the
// rewrite made it.
Outcome ConvertCrLfMessage(std::string message, bool force) {
    // The host hands the plug-in NUL-terminated text: what follows a NUL would be lost.
    if (message.find('\0') != std::string::npos) return Unchanged(std::move(message), "holds a NUL byte, left as it is");
    TheMailHost().SetCurrentMessage(std::move(message));
    const auto unchanged = [](const char* reason) { return Unchanged(TheMailHost().TakeCurrentMessage(), reason); };
    const std::string& source = TheMailHost().CurrentSource();
    if (!force && !IsConvertible()) {
        const bool marked = FindHeaderField(source, MARKER_HEADER) == "true";
        return unchanged(marked ? "already converted" : "no carrier (the sender is in no list)");
    }
    char from[1024];
    TheMailHost().GetSpecifiedHeader("From", from, sizeof from - 1);
    const CarrierCode carrier = g_pSettings->ClassifySender(from);
    RewriteReport report;
    std::optional<std::string> result = ConvertSource(source, &report);
    if (!result) {
        // A text or multipart message always comes back, marked at least: when it does not,
        // the conversion gave up (memory ran out) and the message stays as it was.
        const MediaKind media = ClassifyEntity(SplitHeaderLines(SplitHeaderAndBody(source).header)).media;
        if ((g_mapAU.Embedded() || g_mapDocomo.Embedded() || g_mapSoftbank.Embedded()) && HoldsImageContentId(source))
            return unchanged("it holds a Content-ID of the form of the images the conversion adds");
        if (media == MediaKind::PlainText || media == MediaKind::Multipart) {
            Outcome failed = unchanged("the conversion failed (out of memory), the message is as it was");
            failed.failed = true;
            return failed;
        }
        return unchanged(media == MediaKind::Html ? "an HTML message without a known pictograph" : "not a text message");
    }
    Outcome outcome;
    outcome.rewritten = *result != source;
    outcome.converted = report.Shown() > 0;
    outcome.carrier = carrier;
    outcome.summary = outcome.converted ? "converted (" + std::string(CarrierName(carrier)) + ", " + std::to_string(report.Shown()) +
                                           " pictograph" + (report.Shown() == 1 ? "" : "s") + " replaced)"
                                     : "marked as converted: no known pictograph";
    if (report.imagesCarried)
        outcome.summary += "; " + std::to_string(report.imagesCarried) + " image" + (report.imagesCarried == 1 ? "" : "s") +
                        " carried in it, " + std::to_string(report.imageBytes) + " bytes";
    outcome.report = report;
    outcome.message = std::move(*result);
    return outcome;
}

Outcome ConvertMessage(std::string message, bool force) {
    // A client keeps its messages with CR LF; a file of LF-only lines goes back the same way.
    if (message.find("\r\n") != std::string::npos || message.find('\n') == std::string::npos)
        return ConvertCrLfMessage(std::move(message), force);
    std::string crlf = ReplaceAll(message, "\n", "\r\n");
    std::string().swap(message);  // not held beside the conversion
    Outcome outcome = ConvertCrLfMessage(std::move(crlf), force);
    // Each CR of a CR LF taken out in place: the result is not copied again.
    std::string& text = outcome.message;
    size_t kept = 0;
    for (size_t at = 0; at < text.size();) {
        const size_t cr = text.find("\r\n", at);
        const size_t end = cr == std::string::npos ? text.size() : cr;
        std::memmove(text.data() + kept, text.data() + at, end - at);
        kept += end - at;
        at = end == text.size() ? end : end + 1;  // the LF begins the next run
    }
    text.resize(kept);
    outcome.report.ownHtml = outcome.report.senderHtml = std::nullopt;  // they stood in the CR LF message
    return outcome;
}

// A message file begins with a header field: a name of printable characters, then ':'.
bool LooksLikeMessage(std::string_view text) {
    const size_t colon = text.find(':');
    if (colon == 0 || colon == std::string_view::npos) return false;
    return std::all_of(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(colon), [](char c) { return c > ' ' && c < 127; });
}

// Reads the first bytes of a file, to tell an mbox from a message.
std::string ReadHead(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw Failure{"cannot read " + path.string() + ": " + SystemReason()};
    std::string head(256, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<size_t>(in.gcount()));
    if (in.bad()) throw Failure{"cannot read " + path.string() + ": " + SystemReason()};
    return head;
}

namespace {

// The folder of the running program.
fs::path ProgramFolder() {
#if defined(_WIN32)
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return fs::path(path).parent_path();
#else
    std::error_code error;
    return fs::read_symlink("/proc/self/exe", error).parent_path();
#endif
}

}  // namespace

fs::path ImagesFolder(const Options& options) {
    return fs::absolute(options.images.empty() ? FindInstalledFiles().second : fs::path(options.images)).lexically_normal();
}

// The settings file and image folder installed with the program: share/glyphory/ beside its
// bin/ folder (cmake --install, and the build tree), or beside the program itself as in the
// plug-in's bundle (Glyphory.ini and Glyphory/).
std::pair<fs::path, fs::path> FindInstalledFiles() {
    const fs::path folder = ProgramFolder();
    const fs::path share = folder.parent_path() / "share" / "glyphory";
    if (fs::exists(share / "Glyphory.ini")) return {share / "Glyphory.ini", share / "images"};
    return {folder / "Glyphory.ini", folder / "Glyphory"};
}
