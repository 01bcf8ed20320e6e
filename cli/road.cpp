#include "cli/road.h"

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
    // Read in large blocks: a character at a time costs more than the conversion of small mail.
    std::string text;
    for (size_t size = 0;;) {
        text.resize(size + std::max<size_t>(64 * 1024, size));
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
        !temporary.MoveTo(path, error))
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

std::string WithCrLfLines(const std::string& message) {
    return message.find("\r\n") == std::string::npos ? ReplaceAll(message, "\n", "\r\n") : message;
}

namespace {

constexpr std::string_view IMAGE_TAG = "<img src=\"";

size_t CountTags(std::string_view text) {
    size_t count = 0;
    for (size_t at = text.find(IMAGE_TAG); at != std::string_view::npos; at = text.find(IMAGE_TAG, at + 1)) ++count;
    return count;
}

// The pictographs shown in a converted entity: the images of every HTML part, a Subject block's
// once for the whole message however many text parts carry it.
struct Shown {
    size_t body = 0;
    size_t subject = 0;
};

void CountShown(std::string_view entity, Shown& shown, bool ownHtml, int depth) {
    if (depth > 64) return;
    const HeaderAndBody split = SplitHeaderAndBody(entity);
    const EntityKind kind = ClassifyEntity(SplitHeaderLines(split.header));
    if (kind.media == MediaKind::Multipart) {
        const PartList parts = SplitMultipartBody(split.body, kind.boundary).parts;
        // Our HTML part: the second of our alternative, or the first of the related entity there.
        for (size_t i = 0; i < parts.size(); ++i)
            CountShown(parts[i], shown, (IsAlternativeBoundary(kind.boundary) && i == 1) || (ownHtml && kind.related && i == 0), depth + 1);
        return;
    }
    if (kind.media != MediaKind::Html) return;
    std::string storage;
    const std::optional<std::string_view> html = DecodeText(kind.encoding, split.body, storage);
    if (!html) return;
    constexpr std::string_view RULE = "----------------------------------------<BR>";
    const size_t rule = ownHtml ? html->find(RULE) : std::string_view::npos;
    if (rule != std::string_view::npos) shown.subject = std::max(shown.subject, CountTags(html->substr(0, rule)));
    shown.body += CountTags(rule == std::string_view::npos ? *html : html->substr(rule));
}

// The image parts of ours that a message carries, and their bytes.
std::pair<size_t, size_t> CountCarriedImages(std::string_view message) {
    constexpr std::string_view ID = "\r\nContent-ID: <";
    size_t images = 0, bytes = 0;
    const std::string ending = std::string(IMAGE_CONTENT_ID_DOMAIN) + ">";
    for (size_t at = message.find(ID); at != std::string_view::npos; at = message.find(ID, at + ID.size())) {
        const size_t end = message.find("\r\n", at + 2);
        const std::string_view line = message.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
        if (line.size() < ending.size() || line.substr(line.size() - ending.size()) != ending) continue;
        const size_t start = message.rfind("\r\n--", at), next = message.find("\r\n--", end);
        ++images;
        bytes += (next == std::string_view::npos ? message.size() : next) - (start == std::string_view::npos ? 0 : start);
    }
    return {images, bytes};
}

Outcome Unchanged(const std::string& file, const char* reason) {
    return {file, std::string("unchanged: ") + reason, false, 0, 0, 0, 0, reason};
}

}  // namespace

// One message down the plug-in's road, as the mail client would hand it over.
Outcome ConvertMessage(const std::string& file, bool force) {
    // The host hands the plug-in NUL-terminated text: what follows a NUL would be lost.
    if (file.find('\0') != std::string::npos) return Unchanged(file, "holds a NUL byte, left as it is");
    // A client keeps its messages with CR LF; a file of LF-only lines goes back the same way.
    const std::string source = WithCrLfLines(file);
    const bool lfOnly = source.size() != file.size();
    TheMailHost().SetCurrentMessage(source);
    if (!force && !IsConvertible()) {
        const bool marked = FindHeaderField(source, MARKER_HEADER) == "true";
        return Unchanged(file, marked ? "already converted" : "no carrier (the sender is in no list)");
    }
    char from[1024];
    TheMailHost().GetSpecifiedHeader("From", from, sizeof from - 1);
    const CarrierCode carrier = g_pSettings->ClassifySender(from);
    ConvertCurrentMail(0, 0);
    if (TheMailHost().SetSourceCalls() == 0) {
        // A text or multipart message always comes back, marked at least: when it does not,
        // the conversion gave up (memory ran out) and the message stays as it was.
        const MediaKind media = ClassifyEntity(SplitHeaderLines(SplitHeaderAndBody(source).header)).media;
        if ((g_mapAU.Embedded() || g_mapDocomo.Embedded() || g_mapSoftbank.Embedded()) && HoldsImageContentId(source))
            return Unchanged(file, "it holds a Content-ID of the form of the images the conversion adds");
        if (media == MediaKind::PlainText || media == MediaKind::Multipart)
            return Unchanged(file, "the conversion failed (out of memory), the message is as it was");
        return Unchanged(file, media == MediaKind::Html ? "an HTML message without a known pictograph" : "not a text message");
    }
    const std::string& result = TheMailHost().CurrentSource();
    // Most mail holds no image before: then nothing needs reading.
    Shown before, after;
    if (source.find(IMAGE_TAG) != std::string::npos) CountShown(source, before, false, 0);
    CountShown(result, after, false, 0);
    const size_t replaced = after.body + after.subject - before.body - before.subject;
    Outcome outcome{lfOnly ? ReplaceAll(result, "\r\n", "\n") : result, "", replaced > 0, carrier, replaced, 0, 0, ""};
    outcome.said = replaced > 0 ? "converted (" + std::string(CarrierName(carrier)) + ", " + std::to_string(replaced) +
                                      " pictograph" + (replaced == 1 ? "" : "s") + " replaced)"
                                : "marked as converted: no known pictograph";
    const auto [carriedBefore, bytesBefore] = CountCarriedImages(source);
    const auto [carried, bytes] = CountCarriedImages(result);
    outcome.imagesCarried = carried - std::min(carried, carriedBefore);
    outcome.imageBytes = bytes - std::min(bytes, bytesBefore);
    if (outcome.imagesCarried)
        outcome.said += "; " + std::to_string(outcome.imagesCarried) + " image" + (outcome.imagesCarried == 1 ? "" : "s") +
                        " carried in it, " + std::to_string(outcome.imageBytes) + " bytes";
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
