#include "render/pictograph_map.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/code_page.h"
#include "platform/dir_scan.h"
#include "base/bytes.h"
#include "base/sjis.h"

namespace {

bool IsHexDigit(unsigned char ch) {
    return (ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'F') || (ch >= 'a' && ch <= 'f');
}

// An image file name: exactly four hexadecimal digits and ".gif" in lower case.
bool IsImageName(std::string_view name) {
    if (name.size() != 8) return false;
    for (size_t i = 0; i < 4; ++i)
        if (!IsHexDigit(static_cast<unsigned char>(name[i]))) return false;
    return name.substr(4) == ".gif";
}

std::string MakeImageTag(std::string_view url) { return std::string(IMAGE_TAG_OPENING).append(url).append("\">"); }

// Every byte of the path but a URL's unreserved ones and those a path may hold as they are
// percent-encoded.
std::string PercentEncodePath(std::string_view path) {
    constexpr std::string_view KEPT = "-._~/!$&'()*+,;=:@";
    std::string url;
    url.reserve(path.size());
    for (const char c : path) {
        const auto ch = static_cast<unsigned char>(c);
        const unsigned char lower = ToAsciiLower(ch);
        if ((ch >= '0' && ch <= '9') || (lower >= 'a' && lower <= 'z') || KEPT.find(c) != std::string_view::npos) {
            url += c;
        } else {
            url += '%';
            url += "0123456789ABCDEF"[ch >> 4];
            url += "0123456789ABCDEF"[ch & 15];
        }
    }
    return url;
}

}  // namespace

void PictographMap::Store(uint16_t code, std::string tag, std::string image, std::string utf8Tag) {
    if (!m_index) m_index = std::make_unique<Index>();
    // Most folders' URLs read the same in UTF-8: a second map only for one that does not,
    // holding the codes stored before it too.
    if (!utf8Tag.empty() && utf8Tag != tag && !m_index->utf8) {
        m_index->utf8 = std::make_unique<PictographMap>();
        for (const auto& [stored, storedTag] : m_index->tags) m_index->utf8->Store(stored, storedTag);
    }
    if (m_index->utf8) m_index->utf8->Store(code, utf8Tag.empty() ? tag : utf8Tag);
    std::string& stored = m_index->tags[code];
    stored = std::move(tag);
    m_index->flat[code] = &stored;
    m_index->firstBytes[code >> 8] = true;
    if (image.empty()) m_index->images.erase(code);
    else m_index->images[code] = std::move(image);
}

const std::string* PictographMap::Image(uint16_t code) const {
    if (!m_index) return nullptr;
    const auto found = m_index->images.find(code);
    return found == m_index->images.end() ? nullptr : &found->second;
}

const bool* PictographMap::FirstBytes() const {
    static constexpr bool none[0x100] = {};
    return m_index ? m_index->firstBytes : none;
}

const std::map<uint16_t, std::string>& PictographMap::Tags() const {
    static const std::map<uint16_t, std::string> none;
    return m_index ? m_index->tags : none;
}

void ScanPictographFolder(const std::string& folder, std::string_view carrier, bool embedded, PictographMap& map) {
    const std::string url = MakeFileUrl(folder);
    // The client's own bytes of a path would break the text of a UTF-8 part.
    const std::string utf8Url = MakeUtf8FileUrl(folder);
    ForEachDirEntry(folder, [&](const DirEntry& entry) {
        const std::optional<uint16_t> named = CodeOfImageName(entry.name);
        if (entry.name == "." || entry.name == ".." || entry.isDirectory || !named) return;
        const uint16_t code = *named;
        if (!embedded) {
            map.Store(code, MakeImageTag(url + entry.name), {}, MakeImageTag(utf8Url + entry.name));
            return;
        }
        std::ifstream in(folder + entry.name, std::ios::binary);
        std::string gif{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        if (in.bad() || gif.empty()) return;
        map.Store(code, MakeImageTag("cid:" + ImageContentId(carrier, entry.name)), std::move(gif));
    });
}

const PictographMap* PictographMapOf(std::string_view carrier) {
    if (carrier == "au") return &g_mapAU;
    if (carrier == "docomo") return &g_mapDocomo;
    if (carrier == "softbank") return &g_mapSoftbank;
    return nullptr;
}

std::optional<uint16_t> CodeOfImageName(std::string_view name) {
    if (!IsImageName(name)) return std::nullopt;
    unsigned code = 0;
    for (size_t i = 0; i < 4; ++i) code = code << 4 | static_cast<unsigned>(HexDigitValue(static_cast<unsigned char>(name[i])));
    return static_cast<uint16_t>(code);
}

std::string ImageContentId(std::string_view carrier, std::string_view name) {
    return std::string(carrier).append(".").append(name).append(IMAGE_CONTENT_ID_DOMAIN);
}

// "C:\Becky!\g\" becomes "file://localhost/C:/Becky!/g/", and the POSIX folder "/srv/g/"
// becomes "file://localhost/srv/g/".
std::string MakeFileUrl(std::string_view path) {
    // A POSIX path is written as a URL writes a path: its bytes other than unreserved ones
    // percent-encoded (a Windows path stays as the client has always written it).
    if (!path.empty() && path.front() == '/') return "file://localhost" + PercentEncodePath(path);
    std::string url = "file://localhost/";
    url.reserve(url.size() + path.size());
    for (size_t i = 0; i < path.size();) {
        const auto ch = static_cast<unsigned char>(path[i]);
        if (ch == '\\') {
            url += '/';
            ++i;
        } else if (IsSjisLeadByte(ch) && i + 1 < path.size()) {
            url.append(path.substr(i, 2));
            i += 2;
        } else {
            url += path[i];
            ++i;
        }
    }
    return url;
}

std::string MakeUtf8FileUrl(std::string_view path) {
    if (!path.empty() && path.front() == '/') return MakeFileUrl(path);
    // In UTF-8 no byte of a two-byte character is a backslash.
    std::string utf8 = ConvertCp932ToUtf8(path);
    std::replace(utf8.begin(), utf8.end(), '\\', '/');
    return "file://localhost/" + PercentEncodePath(utf8);
}

size_t CountImageTags(std::string_view html) {
    // Found by its '<', which memchr passes over fast; a search for the whole opening is slow
    // on the repetitive bytes of long ISO-2022-JP segments.
    size_t count = 0;
    for (const char* at = html.data(); at != html.data() + html.size();) {
        const auto* open = static_cast<const char*>(std::memchr(at, '<', static_cast<size_t>(html.data() + html.size() - at)));
        if (!open) break;
        const std::string_view rest(open, static_cast<size_t>(html.data() + html.size() - open));
        if (rest.substr(0, IMAGE_TAG_OPENING.size()) == IMAGE_TAG_OPENING) ++count;
        at = open + 1;
    }
    return count;
}
