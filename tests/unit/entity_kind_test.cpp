#include "mime/entity_kind.h"

#include <gtest/gtest.h>

namespace {

TEST(ClassifyEntity, MediaTypeEncodingAndCharsetAsRealSendersWriteThem) {
    const struct {
        HeaderLines lines;
        MediaKind media;
        TransferEncoding encoding;
        TextCharset charset;
        const char* charsetName;
    } cases[] = {
        {{"Content-Type:text/plain;charset=SHIFT_JIS", "Content-Transfer-Encoding:8bit"},
         MediaKind::PlainText, TransferEncoding::Identity, TextCharset::ShiftJis, "SHIFT_JIS"},
        {{"content-type: TEXT/HTML; charset=\"iso-2022-jp\"", "CONTENT-TRANSFER-ENCODING: Quoted-Printable"},
         MediaKind::Html, TransferEncoding::QuotedPrintable, TextCharset::Iso2022Jp, "iso-2022-jp"},
        {{"Content-Type: text/html;", "\tcharset=\"Shift_JIS\"", "Content-Transfer-Encoding: Base64"},
         MediaKind::Html, TransferEncoding::Base64, TextCharset::ShiftJis, "Shift_JIS"},
        {{"Content-Type: text/plain"}, MediaKind::PlainText, TransferEncoding::Identity, TextCharset::Unstated, ""},
        {{"Content-Type: text/plain; charset=utf8", "Content-Transfer-Encoding: x-uuencode"},
         MediaKind::PlainText, TransferEncoding::Unknown, TextCharset::Utf8, "utf8"},
        {{"Content-Type: text/plain; charset=US-ASCII"}, MediaKind::PlainText, TransferEncoding::Identity,
         TextCharset::UsAscii, "US-ASCII"},
        {{"Content-Type: text/plain; charset=EUC-JP"}, MediaKind::PlainText, TransferEncoding::Identity,
         TextCharset::Unread, ""},
        {{"Content-Type: text/plain; charset=\"Shift_JIS\x01\""}, MediaKind::PlainText, TransferEncoding::Identity,
         TextCharset::Unread, ""},
        {{"Content-Type: text/plain; charset=\"x\\\"y\""}, MediaKind::PlainText, TransferEncoding::Identity,
         TextCharset::Unread, ""},
        {{"Content-Type: application/octet-stream; charset=Shift_JIS"}, MediaKind::Other, TransferEncoding::Identity,
         TextCharset::Unstated, ""},
        {{"Content-Type:multipart/alternative;", "  boundary=\"aacc_821SH\""}, MediaKind::Multipart,
         TransferEncoding::Identity, TextCharset::Unstated, ""},
        {{}, MediaKind::Other, TransferEncoding::Identity, TextCharset::Unstated, ""},
    };
    for (const auto& c : cases) {
        const EntityKind kind = ClassifyEntity(c.lines);
        const std::string what(c.lines.empty() ? "(no header)" : c.lines.front());
        EXPECT_EQ(kind.media, c.media) << what;
        EXPECT_EQ(kind.encoding, c.encoding) << what;
        EXPECT_EQ(kind.charset, c.charset) << what;
        EXPECT_EQ(kind.charsetName, c.charsetName) << what;
    }
    EXPECT_EQ(ClassifyEntity({"Content-Type:multipart/alternative;", "  boundary=\"aacc_821SH\""}).boundary, "aacc_821SH");
}

TEST(ClassifyCharset, EveryShiftJisAliasAndNothingElse) {
    for (const char* name : {"Shift_JIS", "shift-jis", "SJIS", "x-sjis", "CP932", "Windows-31J"})
        EXPECT_EQ(ClassifyCharset(name), TextCharset::ShiftJis) << name;
    for (const char* name : {"Shift_JIS2004", "shift_jisx0213", "ISO-2022-JP-2", "utf-16", "iso-8859-1", "Shift JIS"})
        EXPECT_EQ(ClassifyCharset(name), TextCharset::Unread) << name;
}

}  // namespace
