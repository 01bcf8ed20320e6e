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
#include "cli/sanitize.h"
#include "mime/html_part.h"
#include "mime/mime_tree.h"
#include "mime/text_lines.h"
#include "render/pictograph_map.h"
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

// Every page forbids scripts and every load but the export's own images and inline styles,
// and sends no referrer along its links.
constexpr char PAGE_POLICY[] =
    "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; img-src 'self'; style-src 'unsafe-inline'\">\n"
    "<meta name=\"referrer\" content=\"no-referrer\">\n";

constexpr char PAGE_STYLE[] =
    "<style>body{font-family:sans-serif;margin:1.5em;max-width:60em} th{text-align:left;padding-right:1em;color:#555}"
    " td,th{vertical-align:top} table.list td{padding:.15em 1em .15em 0} img{vertical-align:text-bottom}</style>\n";

// A text entity of a message: its kind and its decoded text.
struct TextEntity {
    EntityKind kind;
    std::string text;
};

std::optional<TextEntity> DecodeEntity(const MimeEntity& entity) {
    std::string storage;
    const EntityKind kind = KindOf(entity);
    const std::optional<std::string_view> text = DecodeText(kind.encoding, entity.Body(), storage);
    if (!text) return std::nullopt;
    return TextEntity{kind, std::string(*text)};
}

// The entity that stands at span in message, read on its own.
MimeEntity EntityAt(std::string_view message, const Span& span) {
    return ReadMimeTree(message.substr(span.start, span.size)).front();
}

// The image of the set the conversion used that url shows, as "carrier/FILE.gif": only the
// URL of the very tag the conversion writes for a carrier's code counts, a file's
// (".../carrier/FILE.gif") or a part's ("cid:" and its Content-ID).
std::optional<std::string> OwnImageOf(std::string_view url) {
    std::string_view carrier, file;
    std::string tagUrl(url);  // the URL as the tag writes it
    if (url.substr(0, 4) == "cid:") {
        // A later multipart/related entity numbers its images after their names.
        const size_t dot = url.find('.'), at = url.find('@');
        if (dot == std::string_view::npos || at == std::string_view::npos || at < dot + 9) return std::nullopt;
        carrier = url.substr(4, dot - 4), file = url.substr(dot + 1, 8);
        tagUrl = std::string(url.substr(0, dot + 9)) + std::string(url.substr(at));
    } else {
        const size_t slash = url.rfind('/');
        const size_t folder = slash == std::string_view::npos || slash == 0 ? std::string_view::npos : url.rfind('/', slash - 1);
        if (folder == std::string_view::npos) return std::nullopt;
        carrier = url.substr(folder + 1, slash - folder - 1), file = url.substr(slash + 1);
    }
    const PictographMap* map = PictographMapOf(carrier);
    const std::optional<uint16_t> code = CodeOfImageName(file);
    // A UTF-8 part's tag may name the folder otherwise than the client's.
    const auto writes = [&](const PictographMap& tags) {
        const std::string* tag = tags.Find(*code);
        return tag && *tag == std::string(IMAGE_TAG_OPENING) + tagUrl + "\">";
    };
    if (!map || !code || !(writes(*map) || writes(map->ForUtf8()))) return std::nullopt;
    return std::string(carrier) + "/" + std::string(file);
}

// The images of an HTML text of our own (every other byte of it was escaped by the walk) linked
// as link says; an image it does not know is left out.
std::string RelinkImages(const std::string& html, const ImageUrlOf& link) {
    constexpr std::string_view SRC = IMAGE_TAG_OPENING;
    std::string out;
    size_t pos = 0;
    for (size_t at = html.find(SRC); at != std::string::npos; at = html.find(SRC, pos)) {
        const size_t start = at + SRC.size(), end = html.find("\">", start);
        if (end == std::string::npos) break;
        out.append(html, pos, at - pos);
        if (const std::optional<std::string> url = link(std::string_view(html).substr(start, end - start)))
            out.append(SRC).append(*url).append("\">");
        pos = end + 2;
    }
    return out.append(html, pos);
}

// Whether an HTML text shows an image of the set the conversion used.
bool ShowsOwnImage(std::string_view html) {
    constexpr std::string_view SRC = IMAGE_TAG_OPENING;
    for (size_t at = html.find(SRC); at != std::string_view::npos; at = html.find(SRC, at + 1)) {
        const size_t start = at + SRC.size(), end = html.find('"', start);
        if (end != std::string_view::npos && OwnImageOf(html.substr(start, end - start))) return true;
    }
    return false;
}

// The sender's HTML, sanitized: in UTF-8 whatever it came in, so that the parser reads it right.
std::optional<std::string> SanitizedHtml(const TextEntity& html, const ImageUrlOf& link) {
    const TextCharset charset = ReadingCharsetOfHtml(html.kind.charset, html.text);
    if (charset == TextCharset::Unread || charset == TextCharset::Unstated) return std::nullopt;
    const std::string utf8 = charset == TextCharset::Utf8 ? html.text : ConvertClientTextToUtf8(html.text, charset != TextCharset::ShiftJis);
    return SanitizeHtml(utf8, link);
}

// What a page shows of a converted message, as UTF-8 HTML, as a mail client shows it: the
// sender's HTML part that this run converted (a decorated mail's, which a client prefers to
// the text beside it), sanitized; else the HTML part that this run's conversion made (as it
// reports it: no sender can forge it); else a sender's HTML part that shows images of ours,
// sanitized; else the first text, escaped; else nothing.
std::string ContentOf(std::string_view message, const Outcome& outcome, CarrierCode carrier, const ImageUrlOf& link) {
    if (outcome.report.senderHtml)
        if (const std::optional<TextEntity> html = DecodeEntity(EntityAt(message, *outcome.report.senderHtml)))
            if (std::optional<std::string> safe = SanitizedHtml(*html, link)) return *safe;
    if (outcome.report.ownHtml) {
        if (const std::optional<TextEntity> own = DecodeEntity(EntityAt(message, *outcome.report.ownHtml))) {
            const size_t body = own->text.find("<BODY>\r\n"), end = own->text.rfind("</BODY>");
            if (body != std::string::npos && end != std::string::npos && end > body) {
                const std::string html = own->text.substr(body + 8, end - body - 8);
                return RelinkImages(own->kind.charset == TextCharset::Utf8 ? html : ConvertClientTextToUtf8(html, true), link);
            }
        }
    }
    // A message converted before: its HTML shows the images already.
    const MimeTree tree = ReadMimeTree(message);
    for (const MimeEntity& entity : tree) {
        if (entity.media != MediaKind::Html) continue;
        const std::optional<TextEntity> html = DecodeEntity(entity);
        if (!html || !ShowsOwnImage(html->text)) continue;
        if (std::optional<std::string> safe = SanitizedHtml(*html, link)) return *safe;
        break;
    }
    for (const MimeEntity& entity : tree)
        if (entity.media == MediaKind::PlainText)
            if (const std::optional<TextEntity> text = DecodeEntity(entity))
                return "<p>" + RelinkImages(ToUtf8Html(WithCrLfLineEnds(text->text), carrier), link) + "</p>";
    return {};
}

// The folder dir/folder, made where missing. An export folder may hold what others left in it:
// a folder of it that is a symbolic link is refused, for whatever is written through it lands
// outside the export.
fs::path FolderInExport(const fs::path& dir, const fs::path& folder) {
    fs::path made = dir;
    std::error_code error;
    for (const fs::path& part : folder) {
        made /= part;
        if (fs::is_symlink(made, error)) throw Failure{made.string() + " is a symbolic link: the export writes nothing through it"};
        fs::create_directory(made, error);
        if (error) throw Failure{"cannot write " + made.string() + ": " + error.message()};
    }
    return made;
}

// Every file of the export is written here: what stands at its name and is no regular file (a
// symbolic link, a pipe, a device) is removed first, so that the new file takes its place
// instead of overwriting, feeding or waiting on what is there.
void WriteIntoExport(const fs::path& dir, const fs::path& name, std::string_view bytes) {
    const fs::path file = FolderInExport(dir, name.parent_path()) / name.filename();
    std::error_code error;
    const fs::file_type type = fs::symlink_status(file, error).type();
    if (type != fs::file_type::regular && type != fs::file_type::not_found && !fs::remove(file, error))
        throw Failure{"cannot replace " + file.string() + ", which is no regular file: " + error.message()};
    WriteOutput(file.string(), bytes);
}

// Each image the page shows is linked to images/ beside the index, and copied there later.
ImageUrlOf LinkToExport(std::set<std::string>& used) {
    return [&used](std::string_view src) -> std::optional<std::string> {
        std::optional<std::string> image = OwnImageOf(src);
        if (!image) return std::nullopt;
        used.insert(*image);
        return "../images/" + *image;
    };
}

// One message's page, written to dir/messages/, and its line of the index.
ExportedMessage ExportMessage(std::string message, size_t number, const fs::path& dir, std::set<std::string>& used) {
    Outcome outcome = ConvertCrLfMessage(WithCrLfLines(std::move(message)), true);
    TheMailHost().SetCurrentMessage(std::move(outcome.message));
    char from[1024], subject[4096], date[256];
    TheMailHost().GetSpecifiedHeader("From", from, sizeof from - 1);
    TheMailHost().GetSpecifiedHeader("Subject", subject, sizeof subject - 1);
    TheMailHost().GetSpecifiedHeader("Date", date, sizeof date - 1);
    const CarrierCode carrier = g_pSettings->ClassifySender(from);
    const ImageUrlOf link = LinkToExport(used);
    ExportedMessage entry;
    entry.from = RelinkImages(ToUtf8Html(from, carrier), link);
    entry.subject = RelinkImages(ToUtf8Html(subject, carrier), link);
    entry.date = RelinkImages(ToUtf8Html(date, carrier), link);
    if (const std::optional<int64_t> when = ParseMailDate(date)) entry.when = *when, entry.dated = true;
    char name[32];
    std::snprintf(name, sizeof name, "%05zu.html", number);
    entry.page = std::string("messages/") + name;

    const std::string content = ContentOf(TheMailHost().CurrentSource(), outcome, carrier, link);
    std::string title;  // the Subject without its images' tags
    for (size_t at = 0; at < entry.subject.size(); ++at) {
        if (entry.subject[at] == '<') at = std::min(entry.subject.find('>', at), entry.subject.size());
        else title += entry.subject[at];
    }
    const std::string page = "<!DOCTYPE html>\n<html><head><meta charset=\"UTF-8\">\n" + std::string(PAGE_POLICY) + "<title>" + title +
                             "</title>\n" + PAGE_STYLE +
                             "</head><body>\n<p><a href=\"../index.html\">&larr; all messages</a></p>\n<table>" +
                             "<tr><th>From</th><td>" + entry.from + "</td></tr><tr><th>Date</th><td>" + entry.date +
                             "</td></tr><tr><th>Subject</th><td>" + entry.subject + "</td></tr></table>\n<hr>\n" + content +
                             "\n</body></html>\n";
    WriteIntoExport(dir, entry.page, page);
    return entry;
}

void WriteIndex(std::vector<ExportedMessage>& entries, const fs::path& dir) {
    std::stable_sort(entries.begin(), entries.end(), [](const ExportedMessage& a, const ExportedMessage& b) {
        return a.dated != b.dated ? a.dated : a.when < b.when;
    });
    std::string html = std::string("<!DOCTYPE html>\n<html><head><meta charset=\"UTF-8\">\n") + PAGE_POLICY +
                       "<title>Messages</title>\n" + PAGE_STYLE +
                       "</head><body>\n<h1>" + std::to_string(entries.size()) + " messages</h1>\n<table class=\"list\">\n" +
                       "<tr><th>Date</th><th>From</th><th>Subject</th></tr>\n";
    for (const ExportedMessage& e : entries) {
        // The index sits beside images/: its links go down, not up.
        const std::string subject = ReplaceAll(e.subject, "\"../images/", "\"images/");
        const std::string from = ReplaceAll(e.from, "\"../images/", "\"images/");
        html += "<tr><td>" + e.date + "</td><td>" + from + "</td><td><a href=\"" + e.page + "\">" +
                (subject.empty() ? std::string("(no subject)") : subject) + "</a></td></tr>\n";
    }
    WriteIntoExport(dir, "index.html", html + "</table>\n</body></html>\n");
}

// Each message of path (a message file, an mbox, or a folder of either) handed to each.
void ForEachMessageIn(const fs::path& path, bool mbox, const std::function<void(std::string)>& each) {
    std::error_code error;
    if (fs::is_directory(path, error)) {
        std::string unread;
        ForEachFileIn(path, [&](const fs::directory_entry& file, bool link) {
            if (!link) ForEachMessageIn(file.path(), false, each);
        }, unread);
        if (!unread.empty()) throw Failure{"cannot read all of " + path.string() + ": " + unread};
        return;
    }
    if (mbox || IsMboxStart(ReadHead(path))) {
        std::ifstream in(path, std::ios::binary);
        const bool read = in && ForEachMboxMessage(in, [&](std::string_view fromLine, std::string_view message, bool quoted) {
            if (!fromLine.empty()) each(quoted ? UnquoteMboxLines(message) : std::string(message));
        });
        if (!read) throw Failure{"cannot read " + path.string()};
        return;
    }
    std::string message = ReadInput(path.string());
    if (LooksLikeMessage(message)) each(std::move(message));
}

}  // namespace

std::string PreviewPage(const Outcome& converted, const fs::path& images) {
    TheMailHost().SetCurrentMessage(converted.message);
    char from[1024];
    TheMailHost().GetSpecifiedHeader("From", from, sizeof from - 1);
    // Each image is shown from the image set, as the message's own part shows it.
    const std::string folder = MakeFileUrl((images / "").string());
    const std::string content = ContentOf(converted.message, converted, g_pSettings->ClassifySender(from),
                                          [&folder](std::string_view src) -> std::optional<std::string> {
                                              if (const std::optional<std::string> image = OwnImageOf(src)) return folder + *image;
                                              return std::nullopt;
                                          });
    if (content.empty()) return {};
    return "<!DOCTYPE html>\n<html><head><meta charset=\"UTF-8\">\n" + std::string(PAGE_POLICY) + "</head><body>\n" + content +
           "\n</body></html>\n";
}

int ExportArchives(const Options& options) {
    const fs::path dir(*options.outDir);
    FolderInExport(dir, "messages");  // refused before any page is written
    std::vector<ExportedMessage> entries;
    std::set<std::string> used;
    int status = 0;
    for (const std::string& file : options.files) {
        try {
            ForEachMessageIn(file, options.mbox, [&](std::string message) {
                entries.push_back(ExportMessage(std::move(message), entries.size() + 1, dir, used));
            });
        } catch (const Failure& failure) {
            Say("glyphory: " + failure.message);
            status = 1;
        }
    }
    WriteIndex(entries, dir);
    const fs::path images = ImagesFolder(options);
    size_t copied = 0;
    for (const std::string& image : used) {
        try {
            WriteIntoExport(dir, "images/" + image, ReadInput((images / image).string()));
            ++copied;
        } catch (const Failure& failure) {
            Say("glyphory: cannot copy the image " + image + ": " + failure.message);
            status = 1;
        }
    }
    Say(std::to_string(entries.size()) + " messages written to " + dir.string() + ", with " + std::to_string(copied) +
        " images; open " + (dir / "index.html").string());
    return status;
}

