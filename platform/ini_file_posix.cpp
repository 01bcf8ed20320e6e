// INI files: lines of "[section]", "key=value" and ";comment", ending in CR LF or LF. Text
// before the first section belongs to none. A UTF-8 byte-order mark at the start is skipped.
#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <optional>
#include <string_view>

#include "base/bytes.h"
#include "platform/ini_file.h"
#include "platform/ini_text.h"

namespace {

// Blanks around names and values, as the private-profile functions see them.
std::string_view TrimLine(std::string_view text) { return Trim(text, " \t\r\n"); }

std::optional<std::string> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// One line of the file: where it starts, where its text ends and where the next begins.
struct Line {
    size_t begin, end, next;
};

struct Cursor {
    std::string_view text;
    size_t pos;
    bool Next(Line& line) {
        if (pos >= text.size()) return false;
        size_t lf = text.find('\n', pos);
        line.begin = pos;
        line.next = lf == std::string_view::npos ? text.size() : lf + 1;
        line.end = lf == std::string_view::npos ? text.size() : lf;
        if (line.end > line.begin && text[line.end - 1] == '\r') --line.end;
        pos = line.next;
        return true;
    }
};

size_t StartAfterMark(std::string_view text) { return text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0; }

// The name of a section header line, or nothing for any other line.
std::optional<std::string_view> SectionName(std::string_view line) {
    line = TrimLine(line);
    if (line.empty() || line.front() != '[') return std::nullopt;
    const size_t close = line.find(']');
    return TrimLine(line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
}

// Where the first section named section and, inside it, the first key named key stand.
struct Place {
    bool sectionFound = false;
    size_t sectionEnd = 0;  // just past the section's last non-blank line
    std::optional<Line> keyLine;
};

Place Find(std::string_view text, std::string_view section, std::string_view key) {
    Place place;
    Cursor cursor{text, StartAfterMark(text)};
    Line line;
    while (cursor.Next(line)) {
        const std::string_view content = text.substr(line.begin, line.end - line.begin);
        const auto name = SectionName(content);
        if (place.sectionFound) {
            if (name) break;
            const std::string_view trimmed = TrimLine(content);
            if (trimmed.empty()) continue;
            place.sectionEnd = line.next;
            if (trimmed.front() == ';') continue;
            const size_t eq = trimmed.find('=');
            if (eq != std::string_view::npos && EqualsIgnoringCase(TrimLine(trimmed.substr(0, eq)), key)) {
                place.keyLine = line;
                return place;
            }
        } else if (name && EqualsIgnoringCase(*name, section)) {
            place.sectionFound = true;
            place.sectionEnd = line.next;
        }
    }
    return place;
}

}  // namespace

std::string FindIniValue(std::string_view text, std::string_view section, std::string_view key,
                         const std::string& fallback) {
    std::string value = fallback;
    const Place place = Find(text, section, key);
    if (place.keyLine) {
        const std::string_view line = TrimLine(text.substr(place.keyLine->begin, place.keyLine->end - place.keyLine->begin));
        std::string_view found = TrimLine(line.substr(line.find('=') + 1));
        if (found.size() >= 2 && found.front() == '"' && found.back() == '"') found = found.substr(1, found.size() - 2);
        value = found;
    }
    if (value.size() > INI_VALUE_SIZE - 1) value.resize(INI_VALUE_SIZE - 1);
    return value;
}

std::string ReadIniValue(const std::string& section, const std::string& key, const std::string& fallback,
                         const std::string& path) {
    return FindIniValue(ReadFile(path).value_or(std::string()), section, key, fallback);
}

void WriteIniValue(const std::string& section, const std::string& key, const std::string& value,
                   const std::string& path) {
    const std::string text = ReadFile(path).value_or(std::string());
    const bool lfOnly = text.find('\n') != std::string::npos && text.find("\r\n") == std::string::npos;
    const std::string eol = lfOnly ? "\n" : "\r\n";
    const std::string keyLine = key + "=" + value;

    std::string out;
    const Place place = Find(text, section, key);
    if (place.keyLine) {
        out = text.substr(0, place.keyLine->begin) + keyLine + text.substr(place.keyLine->end);
    } else {
        const size_t at = place.sectionFound ? place.sectionEnd : text.size();
        std::string insert;
        if (at > 0 && text[at - 1] != '\n') insert += eol;
        if (!place.sectionFound) insert += "[" + section + "]" + eol;
        insert += keyLine + eol;
        out = text.substr(0, at) + insert + text.substr(at);
    }
    // A file without write permission is read-only, as Windows' read-only attribute, whoever
    // runs the program. Written in place, so that a missing folder leaves everything as it was.
    struct stat info;
    if (stat(path.c_str(), &info) == 0 && !(info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH))) return;
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (file) file << out;
}
