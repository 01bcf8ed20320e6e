// The per-carrier index of pictograph images: each two-byte Shift-JIS code (first byte in
// the high 8 bits) to the finished <img> tag of its GIF file.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

class PictographMap {
public:
    // Nothing to make: the module's maps exist before any other module-wide object.
    constexpr PictographMap() = default;

    // Inserts the tag, or replaces the one stored under the same code.
    void Store(uint16_t code, std::string tag);
    // The tag stored under code, or null. One table access, whatever the map holds.
    [[nodiscard]] const std::string* Find(uint16_t code) const {
        return m_index ? m_index->flat[code] : nullptr;
    }
    // For each byte value, whether some code begins with it: most bytes of a text start none.
    [[nodiscard]] const bool* FirstBytes() const;
    [[nodiscard]] const std::map<uint16_t, std::string>& Tags() const;

private:
    struct Index {
        std::map<uint16_t, std::string> tags;
        const std::string* flat[0x10000] = {};  // into tags, whose nodes never move
        bool firstBytes[0x100] = {};
    };
    std::unique_ptr<Index> m_index;
};

extern PictographMap g_mapAU;
extern PictographMap g_mapSoftbank;
extern PictographMap g_mapDocomo;

// Adds every image of folder (a path ending with the separator) to map: files named by four
// hexadecimal digits and ".gif". Nothing is cleared; a folder that cannot be read adds nothing.
void ScanPictographFolder(const std::string& folder, PictographMap& map);

// "file://localhost/" and the path with every backslash as '/'; the second byte of a
// two-byte character stays as it is, and nothing is escaped.
[[nodiscard]] std::string MakeFileUrl(std::string_view path);
