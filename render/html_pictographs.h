// The sender's own HTML with the carrier's pictographs as images, in place: a code becomes its
// tag only where a reader sees text (HtmlTextRuns), and every other byte stays as it came.
// Each sets found when it replaced a pictograph and never clears it; the text must be valid
// in its character set.
#pragma once

#include <string>
#include <string_view>

#include "base/carrier.h"
#include "render/pictograph_map.h"

[[nodiscard]] std::string ReplaceSjisHtmlPictographs(std::string_view sjis, const PictographMap& map, bool& found);

// Walked as it is, not through a conversion: a code of a two-byte segment becomes its tag in
// ISO-2022-JP, after ESC ( B, and the segment's own escape sequence is written again before
// the characters of the segment that follow the tag. No other byte is added; the escape
// sequence of a segment that the code opens goes with it (the tag is written in its place and
// the escape after the tag), so that no two escape sequences stand in a row. A code whose tag
// has no 7-bit form stays.
[[nodiscard]] std::string ReplaceIso2022JpHtmlPictographs(std::string_view jis, const PictographMap& map, bool& found);

[[nodiscard]] std::string ReplaceUtf8HtmlPictographs(std::string_view utf8, CarrierCode carrier, bool& found);
