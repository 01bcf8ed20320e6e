// The per-carrier index of pictograph images: each two-byte Shift-JIS code (first byte in
// the high 8 bits) to the finished <img> tag of its GIF file.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class PictographMap {
public:
    // Nothing to make: the module's maps exist before any other module-wide object.
    constexpr PictographMap() = default;

    // Inserts the tag, or replaces the one stored under the same code; image: the GIF's file,
    // kept for a tag that refers to the image as a part of the message (cid:); utf8Tag: the tag
    // a UTF-8 HTML part takes instead, when it differs (a file URL, see MakeUtf8FileUrl).
    void Store(uint16_t code, std::string tag, std::string image = {}, std::string utf8Tag = {});
    // The tag stored under code, or null. One table access, whatever the map holds.
    [[nodiscard]] const std::string* Find(uint16_t code) const {
        return m_index ? m_index->flat[code] : nullptr;
    }
    // For each byte value, whether some code begins with it: most bytes of a text start none.
    [[nodiscard]] const bool* FirstBytes() const;
    [[nodiscard]] const std::map<uint16_t, std::string>& Tags() const;
    // The GIF of a code whose tag refers to it as a part of the message, or null.
    [[nodiscard]] const std::string* Image(uint16_t code) const;
    // Whether its tags refer to images as parts of the message.
    [[nodiscard]] bool Embedded() const { return m_index && !m_index->images.empty(); }
    // The same codes with the tags a UTF-8 HTML part takes: this map, unless one of them differs.
    [[nodiscard]] const PictographMap& ForUtf8() const { return m_index && m_index->utf8 ? *m_index->utf8 : *this; }

private:
    struct Index {
        std::map<uint16_t, std::string> tags;
        std::map<uint16_t, std::string> images;
        const std::string* flat[0x10000] = {};  // into tags, whose nodes never move
        bool firstBytes[0x100] = {};
        // Made when a tag first differs in UTF-8, and from then on holding every code.
        std::unique_ptr<PictographMap> utf8;
    };
    std::unique_ptr<Index> m_index;
};

extern PictographMap g_mapAU;
extern PictographMap g_mapSoftbank;
extern PictographMap g_mapDocomo;

// Adds every image of folder (a path ending with the separator) to map: files named by four
// hexadecimal digits and ".gif". Nothing is cleared; a folder that cannot be read adds nothing.
// Embedded: each tag refers to its image as a part the message carries (cid:, with the Content-ID
// of ImageContentId), and the map keeps the image's bytes; else to the file (file:).
void ScanPictographFolder(const std::string& folder, std::string_view carrier, bool embedded, PictographMap& map);

// The map of a carrier's image folder name ("au", "docomo", "softbank"), or null.
[[nodiscard]] const PictographMap* PictographMapOf(std::string_view carrier);
// The code an image file is named by (four hexadecimal digits and ".gif"), or nothing.
[[nodiscard]] std::optional<uint16_t> CodeOfImageName(std::string_view name);

// How every tag of a map begins: the image's URL follows, then "\">".
constexpr std::string_view IMAGE_TAG_OPENING = "<img src=\"";
// The tags of ours in an HTML text that the rewrite wrote or converted (its other bytes were
// escaped or are the sender's: their tags are counted before and after).
[[nodiscard]] size_t CountImageTags(std::string_view html);

// The Content-ID (without its angle brackets) of a carrier's image in a converted message.
[[nodiscard]] std::string ImageContentId(std::string_view carrier, std::string_view name);
// What every Content-ID of ours ends with; a message that already holds it keeps its own.
constexpr std::string_view IMAGE_CONTENT_ID_DOMAIN = "@pictograph.glyphory.invalid";

// "file://localhost/" and the path with every backslash as '/'; the second byte of a two-byte
// character stays as it is, and nothing is escaped. A POSIX path (one that begins with '/')
// is "file://localhost" and the path, percent-encoded where a URL asks it.
[[nodiscard]] std::string MakeFileUrl(std::string_view path);
// The same URL for a UTF-8 HTML part: a Windows path (in code page 932) in UTF-8 and
// percent-encoded as a POSIX path is, so that "C:\絵文字\" becomes
// "file://localhost/C:/%E7%B5%B5%E6%96%87%E5%AD%97/".
[[nodiscard]] std::string MakeUtf8FileUrl(std::string_view path);
