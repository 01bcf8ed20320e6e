// The lines of a decoded plain text as its HTML shows them: every line end a CR LF, which the
// walks turn into <BR>, and the soft line breaks of format=flowed (RFC 3676) joined.
#pragma once

#include <string>
#include <string_view>

// Every LF that ends a line without a CR before it becomes CR LF.
[[nodiscard]] std::string WithCrLfLineEnds(std::string_view text);

// The text as a reader of format=flowed shows it: a line that ends in a space (other than the
// signature separator "-- ") runs on into the next line of the same quote depth, which loses
// its quote marks; delSp drops that space. The space stuffed before an unquoted line goes.
// Lines may end in CR LF or LF; every line end written is CR LF.
[[nodiscard]] std::string UnflowText(std::string_view text, bool delSp);
