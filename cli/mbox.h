// Mail archives as one file (mbox, in the mboxrd form: a body line that would begin with
// "From " is written with '>' before it, and so is every line of '>'s and "From "; or with
// Content-Length headers that tell where each body ends).
#pragma once

#include <functional>
#include <istream>
#include <string>
#include <string_view>

// An mbox begins with a "From " line.
[[nodiscard]] bool IsMboxStart(std::string_view head);

// Reads the mbox a piece at a time and hands each message on with the "From " line before it
// (that line with its line end; empty for bytes before the first such line); each message
// keeps its line ends, the blank line before the next "From " line included. Only one message
// is held at a time. In a message that gives a Content-Length, as writers that give one
// (Dovecot) write, a line that begins with "From " ends it only when it has the envelope sender
// and date of a real one; and where its length ends the body and the next such line (or the
// end) follows, it ends there and is handed on with quoted false: its lines are as written.
// False when the stream could not be read to its end.
bool ForEachMboxMessage(std::istream& in,
                        const std::function<void(std::string_view fromLine, std::string_view message, bool quoted)>& each);

// The body lines as they were before quoting ("From " lines under '>'s lose one '>'), and
// quoted again.
[[nodiscard]] std::string UnquoteMboxLines(std::string_view message);
[[nodiscard]] std::string QuoteMboxLines(std::string_view message);
// A message read by its Content-Length and converted: only a line that its conversion brought
// to the start of a line (decoded from base64 or quoted-printable) and that has a real "From "
// line's sender and date is quoted, for readers would take it for another message. Such a
// message holds no such line of its own: that would have ended it.
[[nodiscard]] std::string QuoteEnvelopeLines(std::string_view message);

// The line end a message uses (CR LF when it has one, else LF), and whether the message ends
// in a blank line, the one an mbox puts before the next "From " line.
[[nodiscard]] std::string_view LineEndOf(std::string_view message);
[[nodiscard]] bool EndsWithBlankLine(std::string_view message, std::string_view lineEnd);

// A Content-Length header of the message, if it has one, set to the length of its body: the
// bytes after the blank line that ends the header block, without the blank line that ends
// the message before the next "From " line.
void UpdateContentLength(std::string& message);

// Takes out the X-UID header line (Dovecot's) of a converted message: a server that keeps the
// mbox then gives it a new UID and reads it afresh, instead of serving what it kept of the old one.
void RemoveUidHeader(std::string& message);
