// glyphory: the plug-in's conversion for message files. It plays the mail client through the
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

#include "cli/archive.h"
#include "cli/export.h"
#include "cli/mbox.h"
#include "cli/conversion.h"
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

namespace {

const char USAGE[] =
    "usage: glyphory convert [--settings INI] [--images DIR] [--carrier au|docomo|softbank] [--force]\n"
    "                        [--mbox] [--verbose] [--link-images] FILE|MBOX|FOLDER... (-o OUT | --out-dir DIR | --in-place)\n"
    "       glyphory preview [--settings INI] [--images DIR] [--carrier au|docomo|softbank] [--link-images]\n"
    "                        FILE -o OUT.html\n"
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
    "  --link-images      refer to the image files (file: URLs, for a client on this machine)\n"
    "                     instead of carrying each image in the message as a part of it\n"
    "\n"
    "One line per message named on standard error says what was done; an archive or folder gets a\n"
    "progress line (on a terminal) and a summary. The exit status is 0 when every message was\n"
    "handled, 1 when a file could not be read or written, 2 for bad arguments.\n";



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
        } else if (arg == "--link-images") {
            options.linkImages = true;
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
#if !defined(_WIN32)
    // -o naming this run's standard output, by whatever name, is standard output, written as the
    // shell opened it (appended to, say); its standard error could not be, and is refused.
    std::error_code differ;
    if (options.out && *options.out != "-" && fs::equivalent(*options.out, "/dev/fd/1", differ)) options.out = "-";
    if (options.out && *options.out != "-" && fs::equivalent(*options.out, "/dev/fd/2", differ))
        throw Failure{"-o " + *options.out + " is this run's standard error: give -o - and redirect it"};
#endif
    // -o naming a symbolic link writes the file it points to, as a shell's redirection does, and
    // the link stays (as with --in-place).
    std::error_code error;
    if (options.out && *options.out != "-" && fs::is_symlink(*options.out, error)) {
        const fs::path resolved = fs::weakly_canonical(*options.out, error);
        if (!error) options.out = resolved.string();
    }
    const bool standardInput = std::find(options.files.begin(), options.files.end(), "-") != options.files.end();
    if (standardInput && options.inPlace) throw Failure{"--in-place cannot replace standard input"};
    if (standardInput && options.outDir) throw Failure{"standard input has no name to write under: give it with -o"};
    return options;
}

void SetUpHost(const Options& options) {
    BindBuiltinHost(g_hostApi);
    const fs::path installedSettings = FindInstalledFiles().first;
    // Absolute, or the private-profile functions would look for a bare name in the Windows folder.
    const fs::path settings = fs::absolute(options.settings.empty() ? installedSettings : fs::path(options.settings));
    std::error_code error;
    if (!fs::is_regular_file(settings, error))
        throw Failure{"cannot read " + settings.string() + ": " +
                      (error ? error.message() : fs::exists(settings, error) ? "not a file" : "No such file or directory") +
                      (options.settings.empty() ? " (the installed settings; give --settings)" : "")};
    g_pSettings = std::make_unique<CPluginSettings>(settings.string());
    g_pSettings->Load();
    if (options.carrier) {
        g_pSettings->m_listAU.clear();
        g_pSettings->m_listDocomo.clear();
        g_pSettings->m_listSoftbank.clear();
        g_pSettings->m_nDefaultCarrier = *options.carrier;
    }
    // The tags' file URLs need the folder's whole path.
    const fs::path images = ImagesFolder(options);
    const bool any = fs::is_directory(images / "au") || fs::is_directory(images / "softbank") || fs::is_directory(images / "docomo");
    // Without images every message would be marked as converted with nothing shown, and the
    // marker would keep a later real conversion away.
    if (!any) throw Failure{"no pictograph images: " + images.string() + " holds none of au/, softbank/, docomo/"};
    // Converted mail is read anywhere: it carries its images, unless asked to refer to files.
    const bool embedded = !options.linkImages;
    ScanPictographFolder((images / "au").string() + "/", "au", embedded, g_mapAU);
    ScanPictographFolder((images / "softbank").string() + "/", "softbank", embedded, g_mapSoftbank);
    ScanPictographFolder((images / "docomo").string() + "/", "docomo", embedded, g_mapDocomo);
}

// Whether path is folder or lies in it.
bool IsWithin(const fs::path& folder, const fs::path& path) {
    return std::mismatch(folder.begin(), folder.end(), path.begin(), path.end()).first == folder.end();
}

// Both name one file (or folder) that exists.
bool SameFile(const fs::path& a, const fs::path& b) {
    std::error_code error;
    return fs::equivalent(a, b, error) && !error;
}

// Where each input's result goes is its own and never an input: -o naming its input, two
// inputs of one name under --out-dir, an input written over itself, and an output folder
// inside an input folder are refused before anything is written.
void CheckOutputs(const Options& options) {
    if (options.out && *options.out != "-" && options.files[0] != "-" && SameFile(*options.out, options.files[0]))
        throw Failure{"-o names the input " + options.files[0] + ": use --in-place to replace it"};
    if (!options.outDir) return;
    std::error_code error;
    const fs::path outDir = fs::weakly_canonical(*options.outDir, error);
    std::map<fs::path, std::string> targets;
    for (const std::string& file : options.files) {
        // The export writes pages of its own names.
        const fs::path target = outDir / (file == "-" ? fs::path("-") : OutputNameOf(file));
        const auto [first, fresh] = targets.emplace(target, file);
        if (!fresh && options.command == "convert")
            throw Failure{file + " and " + first->second + " would both be written to " + target.string() + ": give them different names or output folders"};
        if (file == "-") continue;
        if (options.command == "convert" && SameFile(target, file))
            throw Failure{"--out-dir " + *options.outDir + " would write " + file + " over itself"};
        const fs::path in = fs::weakly_canonical(file, error);
        if (IsWithin(outDir, in)) throw Failure{file + " is inside the output folder " + *options.outDir + ": choose one outside it"};
        if (fs::is_directory(in, error) && IsWithin(in, outDir))
            throw Failure{"the output folder " + *options.outDir + " is inside " + file + ": choose one outside it"};
    }
    fs::create_directories(outDir, error);
    if (error) throw Failure{"cannot make the output folder " + *options.outDir + ": " + error.message()};
}

int Run(const Options& options) {
    SetUpHost(options);
    CheckOutputs(options);
    if (options.command == "preview" && options.outDir) return ExportArchives(options);
    int status = 0;
    Tally tally;
    Progress progress;
    // An archive or folder, or many files: a progress line on a terminal, and a summary.
    bool long_run = options.files.size() > 5;
    for (const std::string& file : options.files) {
        std::error_code error;
        long_run |= file != "-" && (options.mbox || fs::is_directory(file, error) || (fs::is_regular_file(file, error) && [&] {
                                        try {
                                            return IsMboxStart(ReadHead(file));
                                        } catch (const Failure&) {
                                            return false;  // said when the file's turn comes
                                        }
                                    }()));
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
                const Outcome outcome = ConvertCrLfMessage(WithCrLfLines(ReadInput(file)), true);
                const std::string page = PreviewPage(outcome, ImagesFolder(options));
                if (page.empty()) throw Failure{file + ": no HTML part to show (" + outcome.summary + ")"};
                WriteOutput(*options.out, page);
                Say(file + ": preview written to " + *options.out + " (" + outcome.summary + ")");
            } else if (file != "-" && fs::is_directory(file, error)) {
                if (options.out) throw Failure{"-o takes a message or an mbox; use --out-dir for the folder " + file};
                ConvertFolder(file, options, tally, progress, status);
            } else {
                const fs::path target = options.out ? fs::path(*options.out)
                                        : options.outDir ? *options.outDir / (file == "-" ? fs::path("-") : OutputNameOf(file))
                                                         : fs::path(file);
                ConvertFile(file, target, true, options, tally, progress);
            }
        } catch (const Failure& failure) {
            SayFailure(failure.message, progress);
            ++tally.unreadable;
            status = 1;
        } catch (const std::bad_alloc&) {
            SayFailure(file + ": out of memory, left as it was", progress);
            ++tally.unreadable;
            status = 1;
        }
    }
    if ((long_run || tally.mboxes > 0) && options.command == "convert") PrintSummary(tally, progress);
    return tally.failed ? 1 : status;
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
        Say("glyphory: " + failure.message);
        std::cerr << USAGE;
        return 2;
    }
    try {
        return Run(options);
    } catch (const Failure& failure) {
        Say("glyphory: " + failure.message);
        return 1;
    } catch (const std::exception& error) {
        Say(std::string("glyphory: ") + error.what());
        return 1;
    }
}
