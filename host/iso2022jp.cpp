// ISO-2022-JP as mail carries it (RFC 1468): 7-bit text that switches between ASCII (or
// JIS X 0201 Roman), JIS X 0208 two-byte characters and, as many mailers send it, JIS X 0201
// half-width katakana, each by a three-byte escape sequence.
#include "host/iso2022jp.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "base/bytes.h"
#include "base/sjis.h"

namespace {

enum class Charset { Ascii, Jis0208, Kana };

constexpr unsigned char ESC = 0x1B;

// The first of the two JIS rows a Shift-JIS lead byte stands for; 0 when the lead byte has
// no 7-bit form (0xEB-0xEE, 0xF0-0xF2, 0xF5, 0xF8-0xFC).
constexpr unsigned char FirstRowOfSjisLead(unsigned char lead) {
    if (lead >= 0x81 && lead <= 0x9F) return static_cast<unsigned char>((lead - 0x70) * 2 - 1);
    if ((lead >= 0xE0 && lead <= 0xEA) || lead == 0xEF)
        return static_cast<unsigned char>((lead - 0xB0) * 2 - 1);
    if (lead == 0xF3 || lead == 0xF4) return static_cast<unsigned char>(0x79 + (lead - 0xF3) * 2);
    if (lead == 0xF6 || lead == 0xF7) return static_cast<unsigned char>(0x75 + (lead - 0xF6) * 2);
    return 0;
}

char* PutSjisOfJis(char* out, unsigned char row, unsigned char cell) {
    const uint16_t code = SjisOfJis(row, cell);
    out[0] = static_cast<char>(code >> 8);
    out[1] = static_cast<char>(code & 0xFF);
    return out + 2;
}

char* PutJisOfSjis(char* out, unsigned char firstRow, unsigned char trail) {
    const bool second = trail >= 0x9F;
    out[0] = static_cast<char>(firstRow + second);
    out[1] = static_cast<char>(second ? trail - 0x7E : trail - (trail >= 0x80 ? 0x20 : 0x1F));
    return out + 2;
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

// The output, written through a pointer into a string sized ahead; Room() before each
// stretch makes sure it fits.
class Writer {
public:
    Writer(std::string reuse, size_t size) : m_buf(std::move(reuse)) {
        m_buf.resize(std::max<size_t>(size, 16));
        m_at = m_buf.data();
    }
    char*& At() { return m_at; }
    void Room(size_t more) {
        const size_t used = static_cast<size_t>(m_at - m_buf.data());
        if (m_buf.size() - used < more) {
            m_buf.resize(std::max(m_buf.size() * 2, used + more));
            m_at = m_buf.data() + used;
        }
    }
    void Put(std::string_view bytes) { m_at = std::copy(bytes.begin(), bytes.end(), m_at); }
    std::string Take() && {
        m_buf.resize(static_cast<size_t>(m_at - m_buf.data()));
        return std::move(m_buf);
    }

private:
    std::string m_buf;
    char* m_at;
};

constexpr size_t ESCAPE_SIZE = 3;

void SwitchTo(Writer& out, Charset& current, Charset wanted) {
    if (current == wanted) return;
    switch (wanted) {
        case Charset::Ascii: out.Put("\x1B(B"); break;
        case Charset::Jis0208: out.Put("\x1B$B"); break;
        case Charset::Kana: out.Put("\x1B(I"); break;
    }
    current = wanted;
}

bool IsKana(unsigned char ch) { return ch >= 0xA1 && ch <= 0xDF; }

}  // namespace

// No escape, pair or katakana byte grows, so the Shift-JIS text is never longer.
std::string DecodeIso2022Jp(std::string_view jis, std::string reuse) {
    Writer out(std::move(reuse), jis.size());
    char*& o = out.At();
    Charset charset = Charset::Ascii;
    const auto* s = reinterpret_cast<const unsigned char*>(jis.data());
    const size_t n = jis.size();
    size_t i = 0;
    while (i < n) {
        const unsigned char ch = s[i];
        if (charset == Charset::Ascii && ch != ESC) {
            // Everything up to the next escape passes as it is.
            const auto* esc = static_cast<const unsigned char*>(std::memchr(s + i, ESC, n - i));
            const size_t end = esc ? static_cast<size_t>(esc - s) : n;
            out.Put(jis.substr(i, end - i));
            i = end;
        } else if (ch == ESC) {
            const JisSet set = JisSetOfEscape(jis.substr(i));
            if (set == JisSet::TwoByte) {
                charset = Charset::Jis0208;
            } else if (set == JisSet::Ascii) {
                charset = Charset::Ascii;
            } else if (set == JisSet::Kana) {
                charset = Charset::Kana;
            } else {
                const size_t len = EscapeLength(jis.substr(i));
                out.Put(jis.substr(i, len));
                i += len;
                continue;
            }
            i += 3;
        } else if (charset == Charset::Jis0208 && IsJisByte(ch) && i + 1 < n && IsJisByte(s[i + 1])) {
            o = PutSjisOfJis(o, ch, s[i + 1]);
            i += 2;
        } else {
            *o++ = static_cast<char>(charset == Charset::Kana && ch >= 0x21 && ch <= 0x5F ? ch + 0x80 : ch);
            ++i;
        }
    }
    return std::move(out).Take();
}

// Each stretch of one character set is measured, then written after its escape.
std::string EncodeIso2022Jp(std::string_view sjis, std::string reuse) {
    const auto* s = reinterpret_cast<const unsigned char*>(sjis.data());
    const size_t n = sjis.size();
    Writer out(std::move(reuse), n + n / 8 + 2 * ESCAPE_SIZE);
    char*& o = out.At();
    Charset charset = Charset::Ascii;
    static constexpr std::array<unsigned char, 256> firstRow = [] {
        std::array<unsigned char, 256> rows{};
        for (int lead = 0; lead < 256; ++lead) rows[lead] = FirstRowOfSjisLead(static_cast<unsigned char>(lead));
        return rows;
    }();
    const auto jisRow = [&](size_t at) -> unsigned char {
        return at + 1 < n && IsSjisTrailByte(s[at + 1]) ? firstRow[s[at]] : 0;
    };
    size_t i = 0;
    while (i < n) {
        size_t end = i;
        // A run of one character set is as long in both: room for all the rest fits it.
        if (unsigned char row = jisRow(i)) {
            out.Room(ESCAPE_SIZE + n - i);
            SwitchTo(out, charset, Charset::Jis0208);
            for (; row; row = jisRow(i += 2)) o = PutJisOfSjis(o, row, s[i + 1]);
        } else if (IsKana(s[i])) {
            out.Room(ESCAPE_SIZE + n - i);
            SwitchTo(out, charset, Charset::Kana);
            for (; i < n && IsKana(s[i]); ++i) *o++ = static_cast<char>(s[i] - 0x80);
        } else {
            // Single bytes, and two-byte characters without a 7-bit form (Docomo's and
            // Softbank's pictographs among them), pass as they are.
            while ((end = FindNonAscii(sjis, end)) < n) {
                if (IsKana(s[end])) {
                    break;
                } else if (IsSjisLeadByte(s[end]) && end + 1 < n && IsSjisTrailByte(s[end + 1])) {
                    if (jisRow(end)) break;
                    end += 2;
                } else {
                    ++end;
                }
            }
            out.Room(ESCAPE_SIZE + end - i);
            SwitchTo(out, charset, Charset::Ascii);
            out.Put(sjis.substr(i, end - i));
            i = end;
        }
    }
    out.Room(ESCAPE_SIZE);
    SwitchTo(out, charset, Charset::Ascii);
    return std::move(out).Take();
}
