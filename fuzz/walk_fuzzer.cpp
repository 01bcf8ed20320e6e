// The two text walks (Shift-JIS and UTF-8) on arbitrary bytes with a few Docomo images:
// whatever the text, the HTML holds no markup byte outside the tags the walk wrote (every
// '<', '>' and '"' escaped, every '&' the start of an entity it wrote), and the UTF-8 walk
// writes valid UTF-8. The walks over a sender's HTML (Shift-JIS, ISO-2022-JP, UTF-8) leave
// a text without pictographs as it is.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/check.h"
#include "render/html_pictographs.h"
#include "render/text_to_html.h"
#include "render/utf8.h"
#include "render/utf8_to_html.h"

namespace {

const std::string SUN = "<img src=\"file://localhost/C:/G/docomo/F89F.gif\">";
const std::string CLOUD = "<img src=\"file://localhost/C:/G/docomo/F8A0.gif\">";
const std::string AU_SUN = "<img src=\"file://localhost/C:/G/au/F660.gif\">";  // JIS 7541, "uA"

// The HTML with the walk's own tags, <BR> and entities taken out: no markup byte may be left.
void CheckEscaped(std::string html) {
    for (const std::string& own : {SUN, CLOUD, AU_SUN, std::string("<BR>"), std::string("&amp;"), std::string("&lt;"),
                                   std::string("&gt;"), std::string("&quot;")})
        for (size_t at = html.find(own); at != std::string::npos; at = html.find(own, at)) html.erase(at, own.size());
    Check(html.find_first_of("<>\"&") == std::string::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = [] {
        g_mapDocomo.Store(0xF89F, SUN);
        g_mapDocomo.Store(0xF8A0, CLOUD);
        g_mapDocomo.Store(0xF660, AU_SUN);
        return true;
    }();
    (void)ready;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    bool found = false;
    CheckEscaped(RenderSjisAsHtml(text, g_mapDocomo, found));
    found = false;
    const std::string utf8 = RenderUtf8AsHtml(text, CARRIER_DOCOMO, found);
    Check(IsValidUtf8(utf8));
    CheckEscaped(utf8);
    // The HTML walks change nothing but pictographs outside markup.
    found = false;
    const std::string html = ReplaceSjisHtmlPictographs(text, g_mapDocomo, found);
    Check(found || html == text);
    found = false;
    const std::string jisHtml = ReplaceIso2022JpHtmlPictographs(text, g_mapDocomo, found);
    Check(found || jisHtml == text);
    found = false;
    const std::string utf8Html = ReplaceUtf8HtmlPictographs(text, CARRIER_DOCOMO, found);
    Check(found || utf8Html == text);
    return 0;
}
