#include "cli/export.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "cli/archive.h"
#include "cli/mail_date.h"
#include "cli/mbox.h"
#include "host/mail_host.h"
#include "mime/entity_kind.h"
#include "mime/transfer_encoding.h"
#include "platform/code_page.h"
#include "render/utf8_to_html.h"
#include "settings/plugin_settings.h"
#include "shell/host_api.h"

namespace {

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
    const std::string converted = WithCrLfLines(outcome.message);
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
        ForEachFileIn(path, [&](const fs::directory_entry& file, bool link) {
            if (!link) ForEachMessageIn(file.path(), false, each);
        }, error);
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

}  // namespace

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
            Say("glyphory: " + failure.message);
            status = 1;
        }
    }
    WriteIndex(entries, dir);
    const fs::path images = fs::absolute(options.images.empty() ? FindInstalledFiles().second : fs::path(options.images));
    for (const std::string& image : used) {
        fs::create_directories((dir / "images" / image).parent_path(), error);
        fs::copy_file(images / image, dir / "images" / image, fs::copy_options::overwrite_existing, error);
        if (error) {
            Say("glyphory: cannot copy the image " + image + ": " + error.message());
            status = 1;
        }
    }
    Say(std::to_string(entries.size()) + " messages written to " + dir.string() + ", with " + std::to_string(used.size()) +
        " images; open " + (dir / "index.html").string());
    return status;
}

