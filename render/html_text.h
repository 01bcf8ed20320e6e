// Where an HTML document holds text that a reader sees between its markup, as the HTML
// standard's tokenizer reads it. Only there may a pictograph become an image: inside a tag
// an <img> would break it, and in a comment, a script or a title it would be hidden or shown
// as text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// The runs of a document's text outside markup, in order. Markup is what the tokenizer
// reads as such: tags (a quoted attribute value may hold '>'), comments, doctypes and other
// declarations ("<![CDATA[" among them, which ends at the first '>' as it does outside SVG and
// MathML; those are not told apart). The content of script (its escaped parts as the
// tokenizer has them), style, xmp, iframe, noembed and noframes (raw text), of title and
// textarea (shown as text, never as elements) and all that follows plaintext is no run either. A '<' followed by anything but a letter, '/', '!' or '?' is text. In
// ISO-2022-JP, the bytes of two-byte and katakana characters are never markup.
class HtmlTextRuns {
public:
    HtmlTextRuns(std::string_view html, bool iso2022jp) : m_html(html), m_iso2022jp(iso2022jp) {}
    // The next run, [begin, end), never empty; false when there is none.
    [[nodiscard]] bool Next(size_t& begin, size_t& end);

private:
    enum class State : uint8_t {
        Data, TagOpen, EndTagOpen, TagName, BeforeAttributeName, AttributeName, AfterAttributeName,
        BeforeAttributeValue, DoubleQuotedValue, SingleQuotedValue, UnquotedValue, AfterQuotedValue, SelfClosing,
        MarkupOpen, MarkupDash, BogusComment, CommentStart, CommentStartDash, Comment, CommentEndDash,
        CommentEnd, CommentEndBang, RawText, RawLessThan, RawEndTag, PlainText,
        // A script's "<!--" escapes its text, and a "<script" inside that escapes it twice: there
        // "</script>" ends no script.
        ScriptEscapeStart, ScriptEscapeStartDash, ScriptDoubleEscapeStart, ScriptDoubleEscapeEnd,
        ScriptEscaped, ScriptEscapedDash, ScriptEscapedDashDash, ScriptEscapedLessThan,
        ScriptDoubleEscaped, ScriptDoubleEscapedDash, ScriptDoubleEscapedDashDash, ScriptDoubleEscapedLessThan
    };
    // A character read: an ASCII byte, NOT_ASCII for any other character, or NO_CHARACTER
    // for an escape sequence, which only switches the character set.
    static constexpr int NOT_ASCII = 256, NO_CHARACTER = -1;
    int ReadCharacter(size_t& width);
    // One step of the tokenizer on c; false when c is to be read again in the new state.
    bool Step(int c);
    void EmitTag();
    void StepEscapedScript(int c, State first);

    std::string_view m_html;
    bool m_iso2022jp;
    size_t m_pos = 0;
    bool m_multibyte = false;  // in ISO-2022-JP: two-byte or katakana characters
    State m_state = State::Data;
    // The name of the tag being read, in lower case, as far as it may name an element whose
    // content is no markup; the longest such name is "plaintext", nine letters.
    char m_tag[10] = {};
    size_t m_tagLength = 0;
    bool m_endTag = false;
    // The element whose raw text is being read, how much of a name after "</" is matched, and
    // the state an end tag that is not the element's returns to.
    std::string_view m_rawElement;
    size_t m_matched = 0;
    State m_rawReturn = State::RawText;
    // One more letter of a name being matched against expected; a mismatch stays one.
    void MatchLetter(int c, std::string_view expected);
};
