// What an entity is, read once from its header lines: the media type, the transfer encoding,
// the character set and the form of its lines. The rewrite picks the converter for an entity
// by this alone.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mime/mime_reader.h"
#include "mime/transfer_encoding.h"

// A text that is an attachment (Content-Disposition: attachment) is a file, not text to
// convert: it is Other.
enum class MediaKind : uint8_t { Other, PlainText, Html, Multipart };

// The character sets whose text the conversion can read. Unread: a charset parameter naming
// anything else, or a value that is no RFC 2045 token and so may never be copied into a
// header line of ours.
enum class TextCharset { Unstated, UsAscii, Iso2022Jp, ShiftJis, Utf8, Unread };

struct EntityKind {
    MediaKind media = MediaKind::Other;
    TransferEncoding encoding = TransferEncoding::Identity;
    TextCharset charset = TextCharset::Unstated;
    std::string charsetName;  // as the sender wrote it, when it is read
    std::string boundary;     // of a multipart entity
    bool related = false;     // multipart/related: its parts may refer to each other
    // A plain text's other Content-Type parameters, each as written.
    std::vector<std::string> parameters;
    // A plain text of format=flowed (RFC 3676): its soft line breaks join lines.
    bool flowed = false;
    bool delSp = false;  // delsp=yes: the space before a soft line break is no part of the text
};

[[nodiscard]] EntityKind ClassifyEntity(const HeaderLines& lines);
[[nodiscard]] TextCharset ClassifyCharset(std::string_view name);
