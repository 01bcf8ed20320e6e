// One message through the plug-in's conversion, as the mail client would hand it over, and the file
// handling every command of glyphory shares.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/carrier.h"
#include "mime/rewrite_report.h"

namespace fs = std::filesystem;

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
    bool linkImages = false;  // refer to the image files instead of carrying the images
};

// The image folder the run uses: --images, or the set installed with the command.
[[nodiscard]] fs::path ImagesFolder(const Options& options);

// Said on standard error; the run goes on with the next file.
struct Failure {
    std::string message;
};

struct Outcome {
    std::string message;  // what goes back to the file
    std::string summary;  // what was done, the line on standard error
    bool converted = false;
    bool rewritten = false;  // message differs from what came in
    CarrierCode carrier = 0;
    // What the conversion showed and carried; where its HTML parts stand in message
    // (ConvertCrLfMessage only).
    RewriteReport report;
    std::string leftAlone;  // why the message stays as it is, for the summary; empty when it does not
    bool failed = false;    // it stays so for want of memory: the run ends with status 1
};

[[nodiscard]] const char* CarrierName(CarrierCode carrier);
// One message through the plug-in's conversion, as the mail client would hand it over (CR LF lines),
// and its result.
[[nodiscard]] Outcome ConvertCrLfMessage(std::string message, bool force);
// The same for a message of any line ends: one of LF-only lines comes back the same way.
[[nodiscard]] Outcome ConvertMessage(std::string message, bool force);
[[nodiscard]] std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);
// The message with CR LF line ends, as a mail client keeps it: a file of LF-only lines gets them.
[[nodiscard]] std::string WithCrLfLines(std::string message);

// A file whole ('-': standard input), or its first bytes.
[[nodiscard]] std::string ReadInput(const std::string& path);
[[nodiscard]] std::string ReadHead(const fs::path& path);
// A message file begins with a header field.
[[nodiscard]] bool LooksLikeMessage(std::string_view text);
// A name beside the target that no other run picks.
[[nodiscard]] fs::path TemporaryBeside(const fs::path& target);
struct FileState;

// Written through a temporary file and renamed into place ('-': standard output); a new file
// takes the mode of like, when given.
void WriteOutput(const std::string& path, std::string_view bytes, const FileState* like = nullptr);
// The system's reason for the last failure of a C library call.
[[nodiscard]] std::string SystemReason();
// The text with every control character (C0, DEL, C1, and bytes that are no UTF-8) as \xNN: a
// file name or a header of a stranger's sends nothing to the terminal but text.
[[nodiscard]] std::string Printable(std::string_view text);
// A line on standard error, printable.
void Say(std::string_view line);
// The settings file and image folder installed with the program.
[[nodiscard]] std::pair<fs::path, fs::path> FindInstalledFiles();
