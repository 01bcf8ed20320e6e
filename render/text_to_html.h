// Message text to an HTML fragment: known pictographs become their <img> tags, CR LF
// becomes <BR>, and the bytes that HTML would read as markup are escaped.
#pragma once

#include <string>
#include <string_view>

#include "render/pictograph_map.h"
#include "base/carrier.h"

// The entity written for a byte HTML reads as markup (& < > "), or null for any other byte.
[[nodiscard]] constexpr const char* HtmlEscapeOf(char ch) {
    switch (ch) {
        case '&': return "&amp;";
        case '<': return "&lt;";
        case '>': return "&gt;";
        case '"': return "&quot;";
        default: return nullptr;
    }
}

// The map of a carrier: Docomo's for 1, Softbank's for 2, AU's for every other code.
[[nodiscard]] const PictographMap& SelectPictographMap(CarrierCode carrier);

// The walk over Shift-JIS text. Sets found when it replaced a pictograph; never clears it.
[[nodiscard]] std::string RenderSjisAsHtml(std::string_view sjis, const PictographMap& map, bool& found);

// The same for text as the host delivers it (ISO-2022-JP), converted to Shift-JIS and back
// by the host; the result is ISO-2022-JP.
[[nodiscard]] std::string ConvertTextToHtml(std::string_view text, bool& found, CarrierCode carrier);
// Whether the text (ISO-2022-JP, as the host delivers it) holds a pictograph the walk would
// replace: a piece at a time, stopping after the piece that holds the first, and writing
// nothing. Sets expectedHtml to the size the text's HTML has at the rate of the pieces read
// (before the host's conversion back), so that its room can be made at once.
[[nodiscard]] bool HoldsPictograph(std::string_view text, CarrierCode carrier, size_t& expectedHtml);
// The same, appended to out.
void AppendTextAsHtml(std::string& out, std::string_view text, bool& found, CarrierCode carrier);
