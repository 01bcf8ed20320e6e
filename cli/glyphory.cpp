// glyphory: the plug-in's road for message files. It plays the mail client through the
// built-in host (one current message, its headers, its source, the ISO-2022-JP codec) and
// runs the very code the plug-in runs: qualification, conversion, the settings file rules,
// the image folder scan and the rewrite.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
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

#include "host/mail_host.h"
#include "mime/entity_kind.h"
#include "mime/message_rewriter.h"
#include "render/pictograph_map.h"
#include "settings/plugin_settings.h"
#include "shell/convert_command.h"

namespace fs = std::filesystem;

namespace {

const char USAGE[] =
    "usage: glyphory convert [--settings INI] [--images DIR] [--carrier au|docomo|softbank] [--force]\n"
    "                        FILE... (-o OUT | --out-dir DIR | --in-place)\n"
    "       glyphory preview [--settings INI] [--images DIR] [--carrier au|docomo|softbank] FILE -o OUT.html\n"
    "       glyphory --help | --version\n";

const char HELP[] =
    "Makes the pictographs of Japanese phone mail visible, as the Glyphory plug-in does in the mail\n"
    "client: a message whose sender is a carrier's comes back as multipart/alternative of its own\n"
    "text and an HTML part in which every known pictograph is an <img> of that carrier's GIF.\n"
    "\n"
    "  convert            rewrite each FILE ('-' reads standard input)\n"
    "  preview            write the HTML part of the converted FILE as a page for a browser\n"
    "  -o OUT             where the result goes ('-' writes standard output); one FILE only\n"
    "  --out-dir DIR      write each result into DIR under its own name\n"
    "  --in-place         replace each FILE, keeping the original as FILE~\n"
    "  --settings INI     sender lists and the rest, as the plug-in's Glyphory.ini\n"
    "                     (default: the one installed with the command)\n"
    "  --images DIR       the folder holding au/, softbank/, docomo/ (default: the installed set)\n"
    "  --carrier NAME     take every sender for this carrier's\n"
    "  --force            convert also a message that does not qualify, as the menu command does\n"
    "\n"
    "One line per message on standard error says what was done. The exit status is 0 when every\n"
    "message was handled, 1 when a file could not be read or written, 2 for bad arguments.\n";

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
        } else if (arg.size() > 1 && arg[0] == '-') {
            throw Failure{"unknown option " + arg};
        } else {
            options.files.push_back(arg);
        }
    }
    if (options.files.empty()) throw Failure{"no message file given"};
    const int targets = (options.out ? 1 : 0) + (options.outDir ? 1 : 0) + (options.inPlace ? 1 : 0);
    if (options.command == "preview" && (options.files.size() != 1 || !options.out || targets != 1))
        throw Failure{"preview takes one FILE and -o OUT.html"};
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
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
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
};

// One message down the plug-in's road, as the mail client would hand it over.
Outcome ConvertMessage(const std::string& file, bool force) {
    // The host hands the plug-in NUL-terminated text: what follows a NUL would be lost.
    if (file.find('\0') != std::string::npos) return {file, "unchanged: holds a NUL byte, left as it is"};
    // A client keeps its messages with CR LF; a file of LF-only lines goes back the same way.
    const bool lfOnly = file.find("\r\n") == std::string::npos && file.find('\n') != std::string::npos;
    const std::string source = lfOnly ? ReplaceAll(file, "\n", "\r\n") : file;
    TheMailHost().SetCurrentMessage(source);
    if (!force && !IsConvertible()) {
        const bool marked = FindHeaderField(source, MARKER_HEADER) == "true";
        return {file, marked ? "unchanged: already converted" : "unchanged: no carrier (the sender is in no list)"};
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
            return {file, "unchanged: the conversion failed (out of memory), the message is as it was"};
        return {file, media == MediaKind::Html ? "unchanged: an HTML message without a known pictograph"
                                               : "unchanged: not a text message"};
    }
    const std::string& result = TheMailHost().CurrentSource();
    Shown before, after;
    CountShown(source, before, false, 0);
    CountShown(result, after, false, 0);
    const size_t replaced = after.body + after.subject - before.body - before.subject;
    Outcome outcome{lfOnly ? ReplaceAll(result, "\r\n", "\n") : result, "", replaced > 0};
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

int Run(const Options& options) {
    SetUpHost(options);
    int status = 0;
    for (const std::string& file : options.files) {
        try {
            const std::string input = ReadInput(file);
            const Outcome outcome = ConvertMessage(input, options.force || options.command == "preview");
            if (options.command == "preview") {
                const std::string page = PreviewPage(outcome.message);
                if (page.empty()) throw Failure{file + ": no HTML part to show (" + outcome.said + ")"};
                WriteOutput(*options.out, page);
                std::cerr << file << ": preview written to " << *options.out << " (" << outcome.said << ")\n";
                continue;
            }
            if (options.inPlace) {
                if (outcome.message != input) {
                    WriteOutput(file + "~", input);
                    WriteOutput(file, outcome.message);
                }
            } else {
                WriteOutput(options.out ? *options.out : (fs::path(*options.outDir) / fs::path(file).filename()).string(),
                            outcome.message);
            }
            std::cerr << (file == "-" ? "(standard input)" : file) << ": " << outcome.said << "\n";
        } catch (const Failure& failure) {
            std::cerr << "glyphory: " << failure.message << "\n";
            status = 1;
        }
    }
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
