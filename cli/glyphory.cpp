// glyphory: the plug-in's road for message files. It plays the mail client through the
// built-in host (one current message, its headers, its source, the ISO-2022-JP codec) and
// runs the very code the plug-in runs: qualification, conversion, the settings file rules,
// the image folder scan and the rewrite.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <functional>
#include <map>
#include <set>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "cli/mail_date.h"
#include "cli/mbox.h"
#include "host/mail_host.h"
#include "mime/entity_kind.h"
#include "mime/message_rewriter.h"
#include "platform/code_page.h"
#include "render/utf8_to_html.h"
#include "shell/host_api.h"
#include "base/bytes.h"
#include "render/pictograph_map.h"
#include "settings/plugin_settings.h"
#include "shell/convert_command.h"

namespace fs = std::filesystem;

namespace {

const char USAGE[] =
    "usage: glyphory convert [--settings INI] [--images DIR] [--carrier au|docomo|softbank] [--force]\n"
    "                        [--mbox] [--verbose] FILE|MBOX|FOLDER... (-o OUT | --out-dir DIR | --in-place)\n"
    "       glyphory preview [--settings INI] [--images DIR] [--carrier au|docomo|softbank] FILE -o OUT.html\n"
    "       glyphory preview [...] FILE|MBOX|FOLDER... --out-dir DIR\n"
    "       glyphory --help | --version\n";

const char HELP[] =
    "Makes the pictographs of Japanese phone mail visible, as the Glyphory plug-in does in the mail\n"
    "client: a message whose sender is a carrier's comes back as multipart/alternative of its own\n"
    "text and an HTML part in which every known pictograph is an <img> of that carrier's GIF.\n"
    "\n"
    "  convert            rewrite each FILE ('-' reads standard input), every message of an mbox\n"
    "                     (a file that begins with a \"From \" line), and every message file of a\n"
    "                     FOLDER and the folders in it (a Maildir's tmp/ is left alone)\n"
    "  preview            write the HTML part of the converted FILE as a page for a browser; with\n"
    "                     --out-dir, a page per message of every FILE, MBOX and FOLDER, an index.html\n"
    "                     by date and the images they show, a folder to open anywhere\n"
    "  -o OUT             where the result goes ('-' writes standard output); one FILE only\n"
    "  --out-dir DIR      write each result into DIR under its own name\n"
    "  --in-place         replace each FILE, keeping the original as FILE~\n"
    "  --settings INI     sender lists and the rest, as the plug-in's Glyphory.ini\n"
    "                     (default: the one installed with the command)\n"
    "  --images DIR       the folder holding au/, softbank/, docomo/ (default: the installed set)\n"
    "  --carrier NAME     take every sender for this carrier's\n"
    "  --force            convert also a message that does not qualify, as the menu command does\n"
    "  --mbox             read each FILE as an mbox even when it does not begin with \"From \"\n"
    "  --verbose          a line per message for archives and folders too\n"
    "\n"
    "One line per message named on standard error says what was done; an archive or folder gets a\n"
    "progress line (on a terminal) and a summary. The exit status is 0 when every message was\n"
    "handled, 1 when a file could not be read or written, 2 for bad arguments.\n";

struct Options {
    std::string command;
    std::string settings;  // empty: the one installed with the command
    std::string images;
    std::optional<CarrierCode> carrier;
    bool force = false;
    std::vector<std::string> files;
    std::optional<std::string> out;
    std::optional<std::string> outDir;
    bool inPlace = false;
    bool mbox = false;
    bool verbose = false;
};

struct Failure {
    std::string message;
};

const char* CarrierName(CarrierCode carrier) {
    switch (carrier) {
        case CARRIER_AU: return "au";
        case CARRIER_DOCOMO: return "docomo";
        case CARRIER_SOFTBANK: return "softbank";
        default: return "no carrier";
    }
}

Options ParseArguments(int argc, char** argv) {
    Options options;
    if (argc < 2) throw Failure{"no command given"};
    options.command = argv[1];
    if (options.command != "convert" && options.command != "preview") throw Failure{"unknown command '" + options.command + "'"};
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= argc) throw Failure{arg + " needs a value"};
            return argv[++i];
        };
        if (arg == "--settings") {
            options.settings = value();
        } else if (arg == "--images") {
            options.images = value();
        } else if (arg == "--carrier") {
            const std::string name = value();
            if (name == "au") options.carrier = CARRIER_AU;
            else if (name == "docomo") options.carrier = CARRIER_DOCOMO;
            else if (name == "softbank") options.carrier = CARRIER_SOFTBANK;
            else throw Failure{"--carrier takes au, docomo or softbank, not '" + name + "'"};
        } else if (arg == "--force") {
            options.force = true;
        } else if (arg == "-o") {
            options.out = value();
        } else if (arg == "--out-dir") {
            options.outDir = value();
        } else if (arg == "--in-place") {
            options.inPlace = true;
        } else if (arg == "--mbox") {
            options.mbox = true;
        } else if (arg == "--verbose") {
            options.verbose = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            throw Failure{"unknown option " + arg};
        } else {
            options.files.push_back(arg);
        }
    }
    if (options.files.empty()) throw Failure{"no message file given"};
    const int targets = (options.out ? 1 : 0) + (options.outDir ? 1 : 0) + (options.inPlace ? 1 : 0);
    if (options.command == "preview" && !(options.files.size() == 1 && options.out && targets == 1) &&
        !(options.outDir && targets == 1))
        throw Failure{"preview takes one FILE and -o OUT.html, or FILE|MBOX|FOLDER... and --out-dir DIR"};
    if (targets != 1) throw Failure{"say where the results go: -o, --out-dir or --in-place (one of them)"};
    if (options.out && options.files.size() != 1) throw Failure{"-o takes one FILE; use --out-dir for several"};
    if (options.inPlace && std::find(options.files.begin(), options.files.end(), "-") != options.files.end())
        throw Failure{"--in-place cannot replace standard input"};
    return options;
}

std::string ReadInput(const std::string& path) {
    if (path == "-") return std::string(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    std::ifstream in(path, std::ios::binary);
    if (!in) throw Failure{"cannot read " + path};
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
    if (in.bad()) throw Failure{"cannot read " + path};
    return text;
}

unsigned long ProcessId() {
#if defined(_WIN32)
    return GetCurrentProcessId();
#else
    return static_cast<unsigned long>(getpid());
#endif
}

// A name beside the target that no other run picks: the process and random bits.
fs::path TemporaryBeside(const fs::path& target) {
    std::random_device random;
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, ".glyphory-%lu-%08x%08x.tmp", static_cast<unsigned long>(ProcessId()), random(), random());
    return target.string() + suffix;
}

// Written to a temporary file beside the target and renamed into place: never half-written.
// A file replaced keeps its permission bits (a mail file of 0600 stays 0600).
void WriteOutput(const std::string& path, const std::string& bytes) {
    if (path == "-") {
        std::cout.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        std::cout.flush();
        if (!std::cout) throw Failure{"cannot write standard output"};
        return;
    }
    const fs::path target(path);
    const fs::path temporary = TemporaryBeside(target);
    std::error_code error;
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        std::error_code missing;
        const fs::file_status old = fs::status(target, missing);
        if (!missing && fs::exists(old)) fs::permissions(temporary, old.permissions(), error);
        if (!out || error) {
            fs::remove(temporary, error);
            throw Failure{"cannot write " + path};
        }
    }
    fs::rename(temporary, target, error);
    if (error) {
        fs::remove(temporary, error);
        throw Failure{"cannot write " + path};
    }
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

size_t CountTags(std::string_view text) {
    size_t count = 0;
    for (size_t at = text.find("<img src=\""); at != std::string_view::npos; at = text.find("<img src=\"", at + 1)) ++count;
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
        for (size_t i = 0; i < parts.size(); ++i) CountShown(parts[i], shown, IsAlternativeBoundary(kind.boundary) && i == 1, depth + 1);
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

struct Outcome {
    std::string message;  // what goes back to the file
    std::string said;     // the line on standard error
    bool converted = false;
    CarrierCode carrier = 0;
    size_t replaced = 0;
    std::string leftAlone;  // why the message stays as it is, for the summary; empty when it does not
};

Outcome Unchanged(const std::string& file, const char* reason) {
    return {file, std::string("unchanged: ") + reason, false, 0, 0, reason};
}

// One message down the plug-in's road, as the mail client would hand it over.
Outcome ConvertMessage(const std::string& file, bool force) {
    // The host hands the plug-in NUL-terminated text: what follows a NUL would be lost.
    if (file.find('\0') != std::string::npos) return Unchanged(file, "holds a NUL byte, left as it is");
    // A client keeps its messages with CR LF; a file of LF-only lines goes back the same way.
    const bool lfOnly = file.find("\r\n") == std::string::npos && file.find('\n') != std::string::npos;
    const std::string source = lfOnly ? ReplaceAll(file, "\n", "\r\n") : file;
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
        if (media == MediaKind::PlainText || media == MediaKind::Multipart)
            return Unchanged(file, "the conversion failed (out of memory), the message is as it was");
        return Unchanged(file, media == MediaKind::Html ? "an HTML message without a known pictograph" : "not a text message");
    }
    const std::string& result = TheMailHost().CurrentSource();
    Shown before, after;
    CountShown(source, before, false, 0);
    CountShown(result, after, false, 0);
    const size_t replaced = after.body + after.subject - before.body - before.subject;
    Outcome outcome{lfOnly ? ReplaceAll(result, "\r\n", "\n") : result, "", replaced > 0, carrier, replaced, ""};
    outcome.said = replaced > 0 ? "converted (" + std::string(CarrierName(carrier)) + ", " + std::to_string(replaced) +
                                      " pictograph" + (replaced == 1 ? "" : "s") + " replaced)"
                                : "marked as converted: no known pictograph";
    return outcome;
}

// The HTML part the conversion made (the second part of the first alternative of the
// plug-in's own), as a page of its own in the charset the part declares.
std::string PreviewPage(const std::string& message) {
    const std::string converted = message.find("\r\n") == std::string::npos ? ReplaceAll(message, "\n", "\r\n") : message;
    constexpr std::string_view TYPE = "Content-Type: multipart/alternative; boundary=\"";
    for (size_t at = converted.find(TYPE); at != std::string::npos; at = converted.find(TYPE, at + 1)) {
        const std::string boundary = converted.substr(at + TYPE.size(), 64);
        if (!IsAlternativeBoundary(boundary)) continue;
        const std::string delimiter = "--" + boundary + "\r\n";
        const size_t first = converted.find(delimiter, at);
        const size_t second = first == std::string::npos ? first : converted.find(delimiter, first + delimiter.size());
        if (second == std::string::npos) return {};
        const std::string_view part = std::string_view(converted).substr(second + delimiter.size());
        const HeaderAndBody split = SplitHeaderAndBody(part);
        const EntityKind kind = ClassifyEntity(SplitHeaderLines(split.header));
        const size_t end = split.body.find("</HTML>");
        if (end == std::string_view::npos) return {};
        return "<!DOCTYPE html>\n<meta charset=\"" + kind.charsetName + "\">\n" + std::string(split.body.substr(0, end + 7)) + "\n";
    }
    return {};
}

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

// The settings file and image folder installed with the program: share/glyphory/ beside its
// bin/ folder (cmake --install, and the build tree), or beside the program itself as in the
// plug-in's bundle (Glyphory.ini and Glyphory/).
std::pair<fs::path, fs::path> FindInstalledFiles() {
    const fs::path folder = ProgramFolder();
    const fs::path share = folder.parent_path() / "share" / "glyphory";
    if (fs::exists(share / "Glyphory.ini")) return {share / "Glyphory.ini", share / "images"};
    return {folder / "Glyphory.ini", folder / "Glyphory"};
}

void SetUpHost(const Options& options) {
    BindBuiltinHost(g_hostApi);
    const auto [installedSettings, installedImages] = FindInstalledFiles();
    // Absolute, or the private-profile functions would look for a bare name in the Windows folder.
    const fs::path settings = fs::absolute(options.settings.empty() ? installedSettings : fs::path(options.settings));
    if (!fs::is_regular_file(settings))
        throw Failure{"cannot read " + settings.string() + (options.settings.empty() ? " (the installed settings; give --settings)" : "")};
    g_pSettings = std::make_unique<CPluginSettings>(settings.string());
    g_pSettings->Load();
    if (options.carrier) {
        g_pSettings->m_listAU.clear();
        g_pSettings->m_listDocomo.clear();
        g_pSettings->m_listSoftbank.clear();
        g_pSettings->m_nDefaultCarrier = *options.carrier;
    }
    // The tags' file URLs need the folder's whole path.
    const fs::path images = fs::absolute(options.images.empty() ? installedImages : fs::path(options.images)).lexically_normal();
    const bool any = fs::is_directory(images / "au") || fs::is_directory(images / "softbank") || fs::is_directory(images / "docomo");
    // Without images every message would be marked as converted with nothing shown, and the
    // marker would keep a later real conversion away.
    if (!any) throw Failure{"no pictograph images: " + images.string() + " holds none of au/, softbank/, docomo/"};
    ScanPictographFolder((images / "au").string() + "/", g_mapAU);
    ScanPictographFolder((images / "softbank").string() + "/", g_mapSoftbank);
    ScanPictographFolder((images / "docomo").string() + "/", g_mapDocomo);
}

// What a run did with the messages of its archives and folders, for its summary.
struct Tally {
    size_t messages = 0;
    size_t converted[3] = {};  // by carrier code
    size_t marked = 0;
    size_t pictographs = 0;
    std::map<std::string, size_t> leftAlone;  // by reason
    size_t notMessages = 0;
    size_t unreadable = 0;
};

void Count(Tally& tally, const Outcome& outcome) {
    ++tally.messages;
    tally.pictographs += outcome.replaced;
    if (outcome.converted && outcome.carrier < 3) ++tally.converted[outcome.carrier];
    else if (outcome.leftAlone.empty()) ++tally.marked;
    else ++tally.leftAlone[outcome.leftAlone];
}

// The progress line of a long run, on a terminal only, redrawn at most five times a second.
struct Progress {
    bool shown = false;
    uint64_t total = 0;  // bytes to read
    uint64_t done = 0;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point drawn;
};

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void Advance(Progress& progress, const Tally& tally, uint64_t bytes) {
    progress.done += bytes;
    if (!progress.shown || std::chrono::steady_clock::now() - progress.drawn < std::chrono::milliseconds(200)) return;
    progress.drawn = std::chrono::steady_clock::now();
    const double seconds = SecondsSince(progress.start), rate = progress.done / std::max(seconds, 1e-3);
    const double left = progress.total > progress.done ? (progress.total - progress.done) / std::max(rate, 1.0) : 0;
    std::fprintf(stderr, "\r%zu messages, %.1f of %.1f MB, %.1f MB/s, %.0f s left   ", tally.messages, progress.done / 1e6,
                 progress.total / 1e6, rate / 1e6, left);
}

void PrintSummary(const Tally& tally, const Progress& progress) {
    if (progress.shown) std::fprintf(stderr, "\r%78s\r", "");
    std::fprintf(stderr, "%zu messages read in %.1f s\n", tally.messages, SecondsSince(progress.start));
    for (const CarrierCode carrier : {CARRIER_DOCOMO, CARRIER_AU, CARRIER_SOFTBANK})
        if (tally.converted[carrier]) std::fprintf(stderr, "  converted (%s): %zu\n", CarrierName(carrier), tally.converted[carrier]);
    std::fprintf(stderr, "  pictographs replaced: %zu\n", tally.pictographs);
    if (tally.marked) std::fprintf(stderr, "  marked as converted, no known pictograph: %zu\n", tally.marked);
    for (const auto& [reason, count] : tally.leftAlone) std::fprintf(stderr, "  left alone, %s: %zu\n", reason.c_str(), count);
    if (tally.notMessages) std::fprintf(stderr, "  files that are not messages, left as they are: %zu\n", tally.notMessages);
    if (tally.unreadable) std::fprintf(stderr, "  files that could not be read or written: %zu\n", tally.unreadable);
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
    if (!in) throw Failure{"cannot read " + path.string()};
    std::string head(256, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<size_t>(in.gcount()));
    if (in.bad()) throw Failure{"cannot read " + path.string()};
    return head;
}

// Replaces target with the finished temporary file, keeping the target's permission bits
// and, when asked, the old file as target~ (a second name for it, made before the swap).
void ReplaceWith(const fs::path& temporary, const fs::path& target, bool keepOld) {
    std::error_code error, missing;
    const fs::file_status old = fs::status(target, missing);
    if (!missing && fs::exists(old)) fs::permissions(temporary, old.permissions(), error);
    if (!error && keepOld && !missing && fs::exists(old)) {
        const fs::path backup = target.string() + "~";
        fs::remove(backup, error);
        fs::create_hard_link(target, backup, error);
        if (error) fs::copy_file(target, backup, fs::copy_options::overwrite_existing, error);
    }
    if (!error) fs::rename(temporary, target, error);
    if (error) {
        fs::remove(temporary, missing);
        throw Failure{"cannot write " + target.string()};
    }
}

// Every message of an mbox down the road, written to target (the mbox itself when in place)
// a message at a time: the "From " lines and the quoting of lines that were not converted
// stay exactly, a converted message is quoted again and its Content-Length set.
void ConvertMbox(const fs::path& path, const fs::path& target, bool named, const Options& options, Tally& tally,
                 Progress& progress) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw Failure{"cannot read " + path.string()};
    const fs::path temporary = TemporaryBeside(target);
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    // Written a megabyte at a time: the stream makes a system call of each larger write.
    std::string pending;
    const auto write = [&](std::string_view bytes) {
        pending.append(bytes);
        if (pending.size() < (1u << 20)) return;
        out.write(pending.data(), static_cast<std::streamsize>(pending.size()));
        pending.clear();
    };
    bool changed = false;
    const bool read = ForEachMboxMessage(in, [&](std::string_view fromLine, std::string_view message) {
        write(fromLine);
        if (fromLine.empty()) {  // bytes before the first message
            write(message);
            return;
        }
        Outcome outcome = ConvertMessage(UnquoteMboxLines(message), options.force);
        Count(tally, outcome);
        Advance(progress, tally, fromLine.size() + message.size());
        if (options.verbose) std::cerr << path.string() << ": " << std::string(fromLine.substr(0, fromLine.find_first_of("\r\n"))) << ": " << outcome.said << "\n";
        if (outcome.leftAlone.empty()) {
            std::string converted = QuoteMboxLines(outcome.message);
            // The blank line before the next "From " line stays.
            const std::string_view lineEnd = message.find("\r\n") != std::string_view::npos ? "\r\n" : "\n";
            const std::string blank = std::string(lineEnd) + std::string(lineEnd);
            if (message.size() >= blank.size() && message.substr(message.size() - blank.size()) == blank &&
                std::string_view(converted).substr(converted.size() - std::min(converted.size(), blank.size())) != blank)
                converted += lineEnd;
            UpdateContentLength(converted);
            changed |= converted != message;
            write(converted);
        } else {
            write(message);
        }
    });
    out.write(pending.data(), static_cast<std::streamsize>(pending.size()));
    out.close();
    std::error_code ignored;
    if (!read || !out) {
        fs::remove(temporary, ignored);
        throw Failure{(read ? "cannot write " + target.string() : "cannot read " + path.string())};
    }
    if (options.inPlace && !changed) {
        fs::remove(temporary, ignored);
        return;
    }
    ReplaceWith(temporary, target, options.inPlace && named);
}

// A file of a folder, or one named on the command line (named: its line is said, and in place
// it keeps FILE~; a folder's files do not, since a Maildir would take FILE~ for a message).
void ConvertFile(const fs::path& path, const fs::path& target, bool named, const Options& options, Tally& tally,
                 Progress& progress) {
    const std::string shown = named && path == "-" ? "(standard input)" : path.string();
    // A message is read whole at once; a large file is looked at first, for an mbox is read a
    // message at a time.
    std::error_code error;
    const bool large = path != "-" && fs::file_size(path, error) > (4u << 20) && !error;
    if (path != "-" && (options.mbox || (large && IsMboxStart(ReadHead(path))))) {
        ConvertMbox(path, target, named, options, tally, progress);
        return;
    }
    const std::string input = ReadInput(path.string());
    if (path != "-" && IsMboxStart(input)) {
        ConvertMbox(path, target, named, options, tally, progress);
        return;
    }
    if (!named && !LooksLikeMessage(input)) {
        ++tally.notMessages;
        Advance(progress, tally, input.size());
        if (!options.inPlace) WriteOutput(target.string(), input);
        if (options.verbose) std::cerr << shown << ": not a message, left as it is\n";
        return;
    }
    const Outcome outcome = ConvertMessage(input, options.force);
    Count(tally, outcome);
    Advance(progress, tally, input.size());
    if (options.inPlace) {
        if (outcome.message != input) {
            if (named) WriteOutput(path.string() + "~", input);
            WriteOutput(path.string(), outcome.message);
        }
    } else {
        WriteOutput(target.string(), outcome.message);
    }
    if (named || options.verbose) std::cerr << shown << ": " << outcome.said << "\n";
}

// A Maildir's tmp/ holds messages still being delivered: never touched.
bool IsMaildirTmp(const fs::path& folder) {
    std::error_code error;
    return folder.filename() == "tmp" && fs::is_directory(folder.parent_path() / "cur", error) &&
           fs::is_directory(folder.parent_path() / "new", error);
}

// Every file of folder and of the folders in it (symbolic links are not followed, so no
// loop), written under outDir/NAME/ with the same relative names, or each in place.
void ConvertFolder(const fs::path& folder, const Options& options, Tally& tally, Progress& progress, int& status) {
    const fs::path base = folder.filename().empty() ? folder.parent_path() : folder;
    std::error_code error;
    if (options.outDir) {
        const fs::path in = fs::weakly_canonical(base, error), out = fs::weakly_canonical(*options.outDir, error);
        const auto [mismatch, ignored] = std::mismatch(in.begin(), in.end(), out.begin(), out.end());
        if (mismatch == in.end()) throw Failure{"the output folder " + *options.outDir + " is inside " + folder.string() + ": choose one outside it"};
    }
    for (fs::recursive_directory_iterator it(base, fs::directory_options::skip_permission_denied, error), end; it != end;
         it.increment(error)) {
        if (error) break;
        const fs::directory_entry& entry = *it;
        if (entry.is_symlink(error)) {
            ++tally.leftAlone["a symbolic link"];
            continue;
        }
        if (entry.is_directory(error)) {
            if (IsMaildirTmp(entry.path())) it.disable_recursion_pending();
            continue;
        }
        if (!entry.is_regular_file(error)) continue;
        const fs::path target = options.outDir ? *options.outDir / base.filename() / entry.path().lexically_relative(base) : entry.path();
        try {
            std::error_code made;
            if (options.outDir && (fs::create_directories(target.parent_path(), made), made))
                throw Failure{"cannot write " + target.string() + ": " + made.message()};
            ConvertFile(entry.path(), target, false, options, tally, progress);
        } catch (const Failure& failure) {
            if (progress.shown) std::fprintf(stderr, "\r%78s\r", "");
            std::cerr << "glyphory: " << failure.message << "\n";
            ++tally.unreadable;
            status = 1;
        }
    }
    if (error) {
        std::cerr << "glyphory: cannot read all of " << folder.string() << ": " << error.message() << "\n";
        ++tally.unreadable;
        status = 1;
    }
}

uint64_t BytesUnder(const fs::path& path) {
    std::error_code error;
    if (!fs::is_directory(path, error)) return fs::is_regular_file(path, error) ? fs::file_size(path, error) : 0;
    uint64_t total = 0;
    for (fs::recursive_directory_iterator it(path, fs::directory_options::skip_permission_denied, error), end; it != end;
         it.increment(error)) {
        if (error) break;
        if (it->is_regular_file(error) && !it->is_symlink(error)) total += it->file_size(error);
    }
    return total;
}

// --- The browsable export: a page per message, an index by date, the images they show ---

struct ExportedMessage {
    int64_t when = 0;
    bool dated = false;
    std::string date, from, subject, page;  // the header lines as HTML, and the page's name
};

// A header value or text in whatever the message carries (ISO-2022-JP, UTF-8, Shift-JIS) as
// UTF-8 HTML: escaped, its line breaks kept, its pictographs shown.
std::string ToUtf8Html(std::string_view text, CarrierCode carrier) {
    bool found = false;
    return ConvertSubjectToUtf8Html(text, found, carrier);
}

// The first text/plain entity's text, decoded, for a message that shows no pictograph.
std::optional<std::string> FirstPlainText(std::string_view entity, int depth) {
    const HeaderAndBody split = SplitHeaderAndBody(entity);
    const EntityKind kind = ClassifyEntity(SplitHeaderLines(split.header));
    if (kind.media == MediaKind::Multipart && depth < 64) {
        for (const std::string_view part : SplitMultipartBody(split.body, kind.boundary).parts)
            if (std::optional<std::string> text = FirstPlainText(part, depth + 1)) return text;
        return std::nullopt;
    }
    if (kind.media != MediaKind::PlainText) return std::nullopt;
    std::string storage;
    const std::optional<std::string_view> text = DecodeText(kind.encoding, split.body, storage);
    return text ? std::optional<std::string>(std::string(*text)) : std::nullopt;
}

// Each image the page shows is linked to images/ beside the index instead of the image set.
std::string LinkImagesHere(const std::string& html, std::set<std::string>& used) {
    constexpr std::string_view SRC = "<img src=\"";
    std::string out;
    size_t pos = 0;
    for (size_t at = html.find(SRC); at != std::string::npos; at = html.find(SRC, pos)) {
        const size_t start = at + SRC.size(), end = html.find('"', start);
        if (end == std::string::npos) break;
        const std::string_view url = std::string_view(html).substr(start, end - start);
        const size_t file = url.rfind('/'), folder = file == std::string_view::npos || file == 0 ? file : url.rfind('/', file - 1);
        out.append(html, pos, start - pos);
        if (folder == std::string_view::npos) {
            out.append(url);
        } else {
            const std::string image(url.substr(folder + 1));
            used.insert(image);
            out.append("../images/").append(image);
        }
        pos = end;
    }
    return out.append(html, pos);
}

constexpr char PAGE_STYLE[] =
    "<style>body{font-family:sans-serif;margin:1.5em;max-width:60em} th{text-align:left;padding-right:1em;color:#555}"
    " td,th{vertical-align:top} table.list td{padding:.15em 1em .15em 0} img{vertical-align:text-bottom}</style>\n";

// One message's page, written to dir/messages/, and its line of the index.
ExportedMessage ExportMessage(const std::string& message, size_t number, const fs::path& dir, std::set<std::string>& used) {
    const Outcome outcome = ConvertMessage(message, true);
    const std::string converted = outcome.message.find("\r\n") == std::string::npos ? ReplaceAll(outcome.message, "\n", "\r\n") : outcome.message;
    TheMailHost().SetCurrentMessage(converted);
    char from[1024], subject[4096], date[256];
    TheMailHost().GetSpecifiedHeader("From", from, sizeof from - 1);
    TheMailHost().GetSpecifiedHeader("Subject", subject, sizeof subject - 1);
    TheMailHost().GetSpecifiedHeader("Date", date, sizeof date - 1);
    const CarrierCode carrier = g_pSettings->ClassifySender(from);
    ExportedMessage entry;
    entry.from = ToUtf8Html(from, carrier);
    entry.subject = ToUtf8Html(subject, carrier);
    entry.date = ToUtf8Html(date, carrier);
    if (const std::optional<int64_t> when = ParseMailDate(date)) entry.when = *when, entry.dated = true;
    char name[32];
    std::snprintf(name, sizeof name, "%05zu.html", number);
    entry.page = std::string("messages/") + name;

    std::string content;
    const std::string preview = PreviewPage(converted);
    const size_t body = preview.find("<BODY>"), end = preview.rfind("</BODY>");
    if (body != std::string::npos && end != std::string::npos && end > body) {
        const std::string html = preview.substr(body + 6, end - body - 6);
        const bool jis = preview.find("charset=\"UTF-8\"") == std::string::npos;
        const char* sjis = jis ? g_hostApi.BKA_ISO_2022_JP(html.c_str(), ISO2022JP_TO_SJIS) : nullptr;
        content = jis ? ConvertCp932ToUtf8(sjis ? sjis : "") : html;
    } else if (const std::optional<std::string> text = FirstPlainText(converted, 0)) {
        content = "<p>" + ToUtf8Html(*text, carrier) + "</p>";
    }
    std::string title;  // the Subject without its images' tags
    for (size_t at = 0; at < entry.subject.size(); ++at) {
        if (entry.subject[at] == '<') at = std::min(entry.subject.find('>', at), entry.subject.size());
        else title += entry.subject[at];
    }
    const std::string page = "<!DOCTYPE html>\n<html><head><meta charset=\"UTF-8\"><title>" + title + "</title>\n" +
                             PAGE_STYLE + "</head><body>\n<p><a href=\"../index.html\">&larr; all messages</a></p>\n<table>" +
                             "<tr><th>From</th><td>" + entry.from + "</td></tr><tr><th>Date</th><td>" + entry.date +
                             "</td></tr><tr><th>Subject</th><td>" + entry.subject + "</td></tr></table>\n<hr>\n" + content +
                             "\n</body></html>\n";
    WriteOutput((dir / entry.page).string(), LinkImagesHere(page, used));
    entry.from = LinkImagesHere(entry.from, used);
    entry.subject = LinkImagesHere(entry.subject, used);
    return entry;
}

void WriteIndex(std::vector<ExportedMessage>& entries, const fs::path& dir) {
    std::stable_sort(entries.begin(), entries.end(), [](const ExportedMessage& a, const ExportedMessage& b) {
        return a.dated != b.dated ? a.dated : a.when < b.when;
    });
    std::string html = std::string("<!DOCTYPE html>\n<html><head><meta charset=\"UTF-8\"><title>Messages</title>\n") + PAGE_STYLE +
                       "</head><body>\n<h1>" + std::to_string(entries.size()) + " messages</h1>\n<table class=\"list\">\n" +
                       "<tr><th>Date</th><th>From</th><th>Subject</th></tr>\n";
    for (const ExportedMessage& e : entries) {
        // The index sits beside images/: its links go down, not up.
        const std::string subject = ReplaceAll(e.subject, "\"../images/", "\"images/");
        const std::string from = ReplaceAll(e.from, "\"../images/", "\"images/");
        html += "<tr><td>" + e.date + "</td><td>" + from + "</td><td><a href=\"" + e.page + "\">" +
                (subject.empty() ? std::string("(no subject)") : subject) + "</a></td></tr>\n";
    }
    WriteOutput((dir / "index.html").string(), html + "</table>\n</body></html>\n");
}

// Each message of path (a message file, an mbox, or a folder of either) handed to each.
void ForEachMessageIn(const fs::path& path, bool mbox, const std::function<void(const std::string&)>& each) {
    std::error_code error;
    if (fs::is_directory(path, error)) {
        for (fs::recursive_directory_iterator it(path, fs::directory_options::skip_permission_denied, error), end;
             it != end; it.increment(error)) {
            if (error) break;
            if (it->is_directory(error) && IsMaildirTmp(it->path())) it.disable_recursion_pending();
            if (!it->is_symlink(error) && it->is_regular_file(error)) ForEachMessageIn(it->path(), false, each);
        }
        if (error) throw Failure{"cannot read all of " + path.string() + ": " + error.message()};
        return;
    }
    if (mbox || IsMboxStart(ReadHead(path))) {
        std::ifstream in(path, std::ios::binary);
        const bool read = in && ForEachMboxMessage(in, [&](std::string_view fromLine, std::string_view message) {
            if (!fromLine.empty()) each(UnquoteMboxLines(message));
        });
        if (!read) throw Failure{"cannot read " + path.string()};
        return;
    }
    const std::string message = ReadInput(path.string());
    if (LooksLikeMessage(message)) each(message);
}

int ExportArchives(const Options& options) {
    const fs::path dir(*options.outDir);
    std::error_code error;
    fs::create_directories(dir / "messages", error);
    if (error) throw Failure{"cannot write " + (dir / "messages").string() + ": " + error.message()};
    std::vector<ExportedMessage> entries;
    std::set<std::string> used;
    int status = 0;
    for (const std::string& file : options.files) {
        try {
            ForEachMessageIn(file, options.mbox, [&](const std::string& message) {
                entries.push_back(ExportMessage(message, entries.size() + 1, dir, used));
            });
        } catch (const Failure& failure) {
            std::cerr << "glyphory: " << failure.message << "\n";
            status = 1;
        }
    }
    WriteIndex(entries, dir);
    const fs::path images = fs::absolute(options.images.empty() ? FindInstalledFiles().second : fs::path(options.images));
    for (const std::string& image : used) {
        fs::create_directories((dir / "images" / image).parent_path(), error);
        fs::copy_file(images / image, dir / "images" / image, fs::copy_options::overwrite_existing, error);
        if (error) {
            std::cerr << "glyphory: cannot copy the image " << image << ": " << error.message() << "\n";
            status = 1;
        }
    }
    std::cerr << entries.size() << " messages written to " << dir.string() << ", with " << used.size() << " images; open "
              << (dir / "index.html").string() << "\n";
    return status;
}

int Run(const Options& options) {
    SetUpHost(options);
    if (options.command == "preview" && options.outDir) return ExportArchives(options);
    int status = 0;
    Tally tally;
    Progress progress;
    // An archive or folder, or many files: a progress line on a terminal, and a summary.
    bool long_run = options.files.size() > 5;
    for (const std::string& file : options.files) {
        std::error_code error;
        long_run |= file != "-" && (options.mbox || fs::is_directory(file, error) ||
                                    (fs::is_regular_file(file, error) && IsMboxStart(ReadHead(file))));
    }
#if !defined(_WIN32)
    progress.shown = long_run && isatty(2);
#endif
    if (progress.shown)
        for (const std::string& file : options.files) progress.total += BytesUnder(file);
    for (const std::string& file : options.files) {
        try {
            std::error_code error;
            if (options.command == "preview") {
                const std::string input = ReadInput(file);
                const Outcome outcome = ConvertMessage(input, true);
                const std::string page = PreviewPage(outcome.message);
                if (page.empty()) throw Failure{file + ": no HTML part to show (" + outcome.said + ")"};
                WriteOutput(*options.out, page);
                std::cerr << file << ": preview written to " << *options.out << " (" << outcome.said << ")\n";
            } else if (file != "-" && fs::is_directory(file, error)) {
                if (options.out) throw Failure{"-o takes a message or an mbox; use --out-dir for the folder " + file};
                ConvertFolder(file, options, tally, progress, status);
            } else {
                const fs::path target = options.out ? fs::path(*options.out)
                                        : options.outDir ? *options.outDir / fs::path(file).filename()
                                                         : fs::path(file);
                ConvertFile(file, target, true, options, tally, progress);
            }
        } catch (const Failure& failure) {
            if (progress.shown) std::fprintf(stderr, "\r%78s\r", "");
            std::cerr << "glyphory: " << failure.message << "\n";
            ++tally.unreadable;
            status = 1;
        }
    }
    if (long_run && options.command == "convert") PrintSummary(tally, progress);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
#if defined(_WIN32)
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::cout << USAGE << "\n" << HELP;
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::cout << "glyphory " << GLYPHORY_VERSION << "\n";
        return 0;
    }
    Options options;
    try {
        options = ParseArguments(argc, argv);
    } catch (const Failure& failure) {
        std::cerr << "glyphory: " << failure.message << "\n" << USAGE;
        return 2;
    }
    try {
        return Run(options);
    } catch (const Failure& failure) {
        std::cerr << "glyphory: " << failure.message << "\n";
        return 1;
    } catch (const std::exception& error) {
        std::cerr << "glyphory: " << error.what() << "\n";
        return 1;
    }
}
