// UTF-8 message text to an HTML fragment in UTF-8, as the Shift-JIS walk does it: the
// carrier's pictographs (its own private-use code points, Google's, standard emoji) become
// the <img> tags of their Shift-JIS codes, CR LF becomes <BR>, markup bytes are escaped, and
// a byte sequence that is no UTF-8 becomes U+FFFD.
#pragma once

#include <string>
#include <string_view>

#include "base/carrier.h"

// Sets found when it replaced a pictograph; never clears it.
[[nodiscard]] std::string RenderUtf8AsHtml(std::string_view utf8, CarrierCode carrier, bool& found);
// Whether the text holds a pictograph the walk would replace; writes nothing.
[[nodiscard]] bool HoldsUtf8Pictograph(std::string_view utf8, CarrierCode carrier);
// The same, appended to out.
void AppendUtf8AsHtml(std::string& out, std::string_view utf8, CarrierCode carrier, bool& found);

// The Subject as the host hands it over, for a UTF-8 HTML part: valid UTF-8 is walked as
// UTF-8; otherwise (or when it holds an escape) it is the client's own ISO-2022-JP or
// Shift-JIS text, walked as Shift-JIS and then converted to UTF-8.
[[nodiscard]] std::string ConvertSubjectToUtf8Html(std::string_view subject, bool& found, CarrierCode carrier);

// Text in the client's own ISO-2022-JP (read through the host's converter) or Shift-JIS, as UTF-8.
[[nodiscard]] std::string ConvertClientTextToUtf8(std::string_view text, bool iso2022jp);
