// What an entity is, read once from its header lines: the media type, the transfer encoding
// and the character set. The rewrite picks the converter for an entity by this alone.
#pragma once

#include <string>

#include "mime/mime_reader.h"
#include "mime/transfer_encoding.h"

enum class MediaKind { Other, PlainText, Html, Multipart };

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
};

[[nodiscard]] EntityKind ClassifyEntity(const HeaderLines& lines);
[[nodiscard]] TextCharset ClassifyCharset(std::string_view name);
