#include "render/html_text.h"

#include "base/bytes.h"
#include "base/sjis.h"

namespace {

bool IsAsciiLetter(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Blanks as the tokenizer has them; CR counts, as the input stream turns it into LF.
bool IsHtmlSpace(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

// Elements whose content the tokenizer reads as text up to their own end tag.
constexpr std::string_view RAW_TEXT_ELEMENTS[] = {"script", "style", "xmp", "iframe", "noembed",
                                                  "noframes", "title", "textarea"};

}  // namespace

int HtmlTextRuns::ReadCharacter(size_t& width) {
    const auto ch = static_cast<unsigned char>(m_html[m_pos]);
    width = 1;
    if (!m_iso2022jp) return ch < 0x80 ? ch : NOT_ASCII;
    if (ch == 0x1B) {
        const JisSet set = JisSetOfEscape(m_html.substr(m_pos));
        if (set == JisSet::Unknown) return NO_CHARACTER;
        m_multibyte = set != JisSet::Ascii;
        width = 3;
        return NO_CHARACTER;
    }
    return m_multibyte ? NOT_ASCII : ch;
}

void HtmlTextRuns::MatchLetter(int c, std::string_view expected) {
    const bool fits = m_matched < expected.size() && c != NOT_ASCII &&
                      ToAsciiLower(static_cast<unsigned char>(c)) == static_cast<unsigned char>(expected[m_matched]);
    m_matched = fits ? m_matched + 1 : expected.size() + 1;
}

// The four states of escaped (or doubly escaped) script text come in this order after first:
// the text, after "-", after "--", after "<"; "-->" ends the escape.
void HtmlTextRuns::StepEscapedScript(int c, State first) {
    const auto at = [first](int k) { return static_cast<State>(static_cast<int>(first) + k); };
    if (c == '<') m_state = at(3);
    else if (c == '>' && m_state == at(2)) m_state = State::RawText;
    else if (c == '-') m_state = m_state == first ? at(1) : at(2);
    else m_state = first;
}

void HtmlTextRuns::EmitTag() {
    m_state = State::Data;
    if (m_endTag) return;
    const std::string_view name(m_tag, m_tagLength);
    if (name == "plaintext") {
        m_state = State::PlainText;
        return;
    }
    for (const std::string_view raw : RAW_TEXT_ELEMENTS) {
        if (name == raw) {
            m_rawElement = raw;
            m_state = State::RawText;
            return;
        }
    }
}

bool HtmlTextRuns::Step(int c) {
    switch (m_state) {
        case State::Data: break;  // read by Next
        case State::TagOpen:
            if (c == '!') {
                m_state = State::MarkupOpen;
            } else if (c == '/') {
                m_state = State::EndTagOpen;
            } else if (IsAsciiLetter(c)) {
                m_state = State::TagName, m_tagLength = 0, m_endTag = false;
                return false;
            } else {
                m_state = c == '?' ? State::BogusComment : State::Data;
                return false;
            }
            break;
        case State::EndTagOpen:
            if (IsAsciiLetter(c)) {
                m_state = State::TagName, m_tagLength = 0, m_endTag = true;
                return false;
            }
            m_state = c == '>' ? State::Data : State::BogusComment;
            return c == '>';
        case State::TagName:
            if (IsHtmlSpace(c)) {
                m_state = State::BeforeAttributeName;
            } else if (c == '/') {
                m_state = State::SelfClosing;
            } else if (c == '>') {
                EmitTag();
            } else if (m_tagLength < sizeof m_tag) {
                // A name longer than any of those elements', or with other than ASCII, is none of them.
                m_tag[m_tagLength] = static_cast<char>(ToAsciiLower(static_cast<unsigned char>(c)));
                m_tagLength = c == NOT_ASCII ? sizeof m_tag : m_tagLength + 1;
            }
            break;
        case State::BeforeAttributeName:
            if (IsHtmlSpace(c)) break;
            if (c == '/' || c == '>') {
                m_state = State::AfterAttributeName;
                return false;
            }
            m_state = State::AttributeName;
            return c == '=';
        case State::AttributeName:
            if (IsHtmlSpace(c) || c == '/' || c == '>') {
                m_state = State::AfterAttributeName;
                return false;
            }
            if (c == '=') m_state = State::BeforeAttributeValue;
            break;
        case State::AfterAttributeName:
            if (IsHtmlSpace(c)) break;
            if (c == '/') {
                m_state = State::SelfClosing;
            } else if (c == '=') {
                m_state = State::BeforeAttributeValue;
            } else if (c == '>') {
                EmitTag();
            } else {
                m_state = State::AttributeName;
                return false;
            }
            break;
        case State::BeforeAttributeValue:
            if (IsHtmlSpace(c)) break;
            if (c == '"') {
                m_state = State::DoubleQuotedValue;
            } else if (c == '\'') {
                m_state = State::SingleQuotedValue;
            } else if (c == '>') {
                EmitTag();
            } else {
                m_state = State::UnquotedValue;
                return false;
            }
            break;
        case State::DoubleQuotedValue:
            if (c == '"') m_state = State::AfterQuotedValue;
            break;
        case State::SingleQuotedValue:
            if (c == '\'') m_state = State::AfterQuotedValue;
            break;
        case State::UnquotedValue:
            if (IsHtmlSpace(c)) m_state = State::BeforeAttributeName;
            else if (c == '>') EmitTag();
            break;
        case State::AfterQuotedValue:
        case State::SelfClosing:
            if (c == '>') {
                EmitTag();
            } else if (IsHtmlSpace(c) && m_state == State::AfterQuotedValue) {
                m_state = State::BeforeAttributeName;
            } else if (c == '/' && m_state == State::AfterQuotedValue) {
                m_state = State::SelfClosing;
            } else {
                m_state = State::BeforeAttributeName;
                return false;
            }
            break;
        // "<!--" opens a comment; any other "<!" (a doctype, and "<![CDATA[" outside SVG and
        // MathML among them), "<?" and "</" not followed by a letter open a bogus comment, which
        // the next '>' ends.
        case State::MarkupOpen:
            m_state = c == '-' ? State::MarkupDash : State::BogusComment;
            return c == '-';
        case State::MarkupDash:
            m_state = c == '-' ? State::CommentStart : State::BogusComment;
            return c == '-';
        case State::BogusComment:
            if (c == '>') m_state = State::Data;
            break;
        case State::CommentStart:
        case State::CommentStartDash:
            if (c == '>') m_state = State::Data;  // "<!-->" and "<!--->" end at once
            else if (c == '-') m_state = m_state == State::CommentStart ? State::CommentStartDash : State::CommentEnd;
            else m_state = State::Comment;
            break;
        case State::Comment:
            if (c == '-') m_state = State::CommentEndDash;
            break;
        case State::CommentEndDash:
            m_state = c == '-' ? State::CommentEnd : State::Comment;
            break;
        case State::CommentEnd:
            if (c == '>') m_state = State::Data;
            else if (c == '!') m_state = State::CommentEndBang;
            else if (c != '-') m_state = State::Comment;
            break;
        case State::CommentEndBang:
            m_state = c == '>' ? State::Data : c == '-' ? State::CommentEndDash : State::Comment;
            break;
        case State::RawText:
            if (c == '<') m_state = State::RawLessThan;
            break;
        case State::RawLessThan:
            if (c == '/') {
                m_state = State::RawEndTag, m_matched = 0, m_rawReturn = State::RawText;
                break;
            }
            if (c == '!' && m_rawElement == "script") {
                m_state = State::ScriptEscapeStart;
                break;
            }
            m_state = State::RawText;
            return false;
        case State::RawEndTag:
            if (IsAsciiLetter(c) && m_matched < m_rawElement.size()) {
                MatchLetter(c, m_rawElement);
                if (m_matched <= m_rawElement.size()) break;
            }
            if (m_matched == m_rawElement.size() && (IsHtmlSpace(c) || c == '/' || c == '>')) {
                m_endTag = true;
                m_state = c == '>' ? State::Data : c == '/' ? State::SelfClosing : State::BeforeAttributeName;
                break;
            }
            m_state = m_rawReturn;
            return false;
        case State::PlainText: break;
        case State::ScriptEscapeStart:
        case State::ScriptEscapeStartDash:
            if (c != '-') {
                m_state = State::RawText;
                return false;
            }
            m_state = m_state == State::ScriptEscapeStart ? State::ScriptEscapeStartDash : State::ScriptEscapedDashDash;
            break;
        case State::ScriptEscaped:
        case State::ScriptEscapedDash:
        case State::ScriptEscapedDashDash:
            StepEscapedScript(c, State::ScriptEscaped);
            break;
        case State::ScriptEscapedLessThan:
            m_matched = 0;
            if (c == '/') {
                m_state = State::RawEndTag, m_rawReturn = State::ScriptEscaped;
                break;
            }
            m_state = IsAsciiLetter(c) ? State::ScriptDoubleEscapeStart : State::ScriptEscaped;
            return false;
        case State::ScriptDoubleEscapeStart:
        case State::ScriptDoubleEscapeEnd: {
            const bool start = m_state == State::ScriptDoubleEscapeStart;
            if (IsAsciiLetter(c)) {
                MatchLetter(c, "script");
            } else if (IsHtmlSpace(c) || c == '/' || c == '>') {
                const bool script = m_matched == 6;
                m_state = start == script ? State::ScriptDoubleEscaped : State::ScriptEscaped;
            } else {
                m_state = start ? State::ScriptEscaped : State::ScriptDoubleEscaped;
                return false;
            }
            break;
        }
        case State::ScriptDoubleEscaped:
        case State::ScriptDoubleEscapedDash:
        case State::ScriptDoubleEscapedDashDash:
            StepEscapedScript(c, State::ScriptDoubleEscaped);
            break;
        case State::ScriptDoubleEscapedLessThan:
            if (c == '/') {
                m_state = State::ScriptDoubleEscapeEnd, m_matched = 0;
                break;
            }
            m_state = State::ScriptDoubleEscaped;
            return false;
    }
    return true;
}

bool HtmlTextRuns::Next(size_t& begin, size_t& end) {
    size_t run = m_state == State::Data ? m_pos : std::string_view::npos;
    while (m_pos < m_html.size()) {
        if (m_state == State::PlainText) {
            m_pos = m_html.size();
            break;
        }
        size_t width = 1;
        const int c = ReadCharacter(width);
        if (c == NO_CHARACTER) {
            m_pos += width;
            continue;
        }
        if (m_state == State::Data) {
            if (c == '<') {
                m_state = State::TagOpen;
                const size_t at = m_pos++;
                if (run < at) {
                    begin = run, end = at;
                    return true;
                }
                run = std::string_view::npos;
                continue;
            }
            m_pos += width;
            continue;
        }
        if (Step(c)) m_pos += width;
        if (m_state == State::Data && run == std::string_view::npos) run = m_pos;
    }
    if (m_state == State::Data && run < m_html.size()) {
        begin = run, end = m_pos = m_html.size();
        return true;
    }
    return false;
}
