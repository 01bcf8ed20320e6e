// ISO-2022-JP as mail carries it (RFC 1468): 7-bit text that switches between ASCII (or
// JIS X 0201 Roman), JIS X 0208 two-byte characters and, as many mailers send it, JIS X 0201
// half-width katakana, each by a three-byte escape sequence.
#include "host/iso2022jp.h"


#include "render/byte_sink.h"
#include "render/sjis.h"

namespace {

enum class Charset { Ascii, Jis0208, Kana };

constexpr unsigned char ESC = 0x1B;

bool IsJisByte(unsigned char ch) { return ch >= 0x21 && ch <= 0x7E; }

// JIS row (0x21-0x7E) to Shift-JIS lead byte. Rows 0x75-0x7C are empty in JIS X 0208;
// AU's phones put their pictographs there and mean lead bytes 0xF6-0xF7 and 0xF3-0xF4.
unsigned char SjisLeadOfRow(unsigned char row) {
    if (row >= 0x75 && row <= 0x78) return static_cast<unsigned char>(0xF6 + (row - 0x75) / 2);
    if (row >= 0x79 && row <= 0x7C) return static_cast<unsigned char>(0xF3 + (row - 0x79) / 2);
    return static_cast<unsigned char>(((row + 1) >> 1) + (row <= 0x5E ? 0x70 : 0xB0));
}

// The first of the two JIS rows a Shift-JIS lead byte stands for; 0 when the lead byte has
// no 7-bit form (0xEB-0xEE, 0xF0-0xF2, 0xF5, 0xF8-0xFC).
unsigned char FirstRowOfSjisLead(unsigned char lead) {
    if (lead >= 0x81 && lead <= 0x9F) return static_cast<unsigned char>((lead - 0x70) * 2 - 1);
    if ((lead >= 0xE0 && lead <= 0xEA) || lead == 0xEF)
        return static_cast<unsigned char>((lead - 0xB0) * 2 - 1);
    if (lead == 0xF3 || lead == 0xF4) return static_cast<unsigned char>(0x79 + (lead - 0xF3) * 2);
    if (lead == 0xF6 || lead == 0xF7) return static_cast<unsigned char>(0x75 + (lead - 0xF6) * 2);
    return 0;
}

void PutSjisOfJis(ByteSink& out, unsigned char row, unsigned char cell) {
    out.Put(static_cast<char>(SjisLeadOfRow(row)),
            static_cast<char>(row & 1 ? cell + (cell >= 0x60 ? 0x20 : 0x1F) : cell + 0x7E));
}

void PutJisOfSjis(ByteSink& out, unsigned char firstRow, unsigned char trail) {
    if (trail >= 0x9F)
        out.Put(static_cast<char>(firstRow + 1), static_cast<char>(trail - 0x7E));
    else
        out.Put(static_cast<char>(firstRow), static_cast<char>(trail - (trail >= 0x80 ? 0x20 : 0x1F)));
}

// Length of an ISO 2022 escape sequence at the start of rest: ESC, intermediate bytes
// 0x20-0x2F, one final byte 0x30-0x7E; a sequence cut off by the end stops there.
size_t EscapeLength(std::string_view rest) {
    size_t len = 1;
    while (len < rest.size() && static_cast<unsigned char>(rest[len]) >= 0x20 &&
           static_cast<unsigned char>(rest[len]) <= 0x2F)
        ++len;
    if (len < rest.size() && static_cast<unsigned char>(rest[len]) >= 0x30 &&
        static_cast<unsigned char>(rest[len]) <= 0x7E)
        ++len;
    return len;
}

void SwitchTo(ByteSink& out, Charset& current, Charset wanted) {
    if (current == wanted) return;
    switch (wanted) {
        case Charset::Ascii: out.Put("\x1B(B"); break;
        case Charset::Jis0208: out.Put("\x1B$B"); break;
        case Charset::Kana: out.Put("\x1B(I"); break;
    }
    current = wanted;
}

}  // namespace

std::string DecodeIso2022Jp(std::string_view jis, std::string reuse) {
    ByteSink out(jis.size(), std::move(reuse));  // never longer than the input
    Charset charset = Charset::Ascii;
    const auto* s = reinterpret_cast<const unsigned char*>(jis.data());
    const size_t n = jis.size();
    size_t i = 0;
    while (i < n) {
        const unsigned char ch = s[i];
        if (ch == ESC) {
            const std::string_view seq = jis.substr(i, 3);
            if (seq == "\x1B$@" || seq == "\x1B$B") {
                charset = Charset::Jis0208;
            } else if (seq == "\x1B(B" || seq == "\x1B(J") {
                charset = Charset::Ascii;
            } else if (seq == "\x1B(I") {
                charset = Charset::Kana;
            } else {
                const size_t len = EscapeLength(jis.substr(i));
                out.Put(jis.substr(i, len));
                i += len;
                continue;
            }
            i += 3;
        } else if (charset == Charset::Jis0208 && IsJisByte(ch) && i + 1 < n && IsJisByte(s[i + 1])) {
            PutSjisOfJis(out, ch, s[i + 1]);
            i += 2;
        } else {
            out.Put(static_cast<char>(charset == Charset::Kana && ch >= 0x21 && ch <= 0x5F ? ch + 0x80 : ch));
            ++i;
        }
    }
    return std::move(out).Take();
}

std::string EncodeIso2022Jp(std::string_view sjis, std::string reuse) {
    ByteSink out(sjis.size() + sjis.size() / 4, std::move(reuse));
    Charset charset = Charset::Ascii;
    const auto* s = reinterpret_cast<const unsigned char*>(sjis.data());
    const size_t n = sjis.size();
    size_t i = 0;
    while (i < n) {
        const unsigned char ch = s[i];
        if (ch < 0x80) {
            size_t end = i + 1;
            while (end < n && s[end] < 0x80) ++end;
            SwitchTo(out, charset, Charset::Ascii);
            out.Put(sjis.substr(i, end - i));
            i = end;
        } else if (IsSjisLeadByte(ch) && i + 1 < n && IsSjisTrailByte(s[i + 1])) {
            if (const unsigned char row = FirstRowOfSjisLead(ch)) {
                SwitchTo(out, charset, Charset::Jis0208);
                PutJisOfSjis(out, row, s[i + 1]);
            } else {
                // No 7-bit form (Docomo's and Softbank's pictographs among them): as it is.
                SwitchTo(out, charset, Charset::Ascii);
                out.Put(static_cast<char>(ch), static_cast<char>(s[i + 1]));
            }
            i += 2;
        } else if (ch >= 0xA1 && ch <= 0xDF) {
            SwitchTo(out, charset, Charset::Kana);
            out.Put(static_cast<char>(ch - 0x80));
            ++i;
        } else {
            SwitchTo(out, charset, Charset::Ascii);
            out.Put(static_cast<char>(ch));
            ++i;
        }
    }
    SwitchTo(out, charset, Charset::Ascii);
    return std::move(out).Take();
}
