// The two text walks (Shift-JIS and UTF-8) on arbitrary bytes with a few Docomo images:
// whatever the text, the HTML holds no markup byte outside the tags the walk wrote (every
// '<', '>' and '"' escaped, every '&' the start of an entity it wrote), and the UTF-8 walk
// writes valid UTF-8.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/check.h"
#include "render/text_to_html.h"
#include "render/utf8.h"
#include "render/utf8_to_html.h"

namespace {

const std::string SUN = "<img src=\"file://localhost/C:/G/docomo/F89F.gif\">";
const std::string CLOUD = "<img src=\"file://localhost/C:/G/docomo/F8A0.gif\">";

// The HTML with the walk's own tags, <BR> and entities taken out: no markup byte may be left.
void CheckEscaped(std::string html) {
    for (const std::string& own : {SUN, CLOUD, std::string("<BR>"), std::string("&amp;"), std::string("&lt;"),
                                   std::string("&gt;"), std::string("&quot;")})
        for (size_t at = html.find(own); at != std::string::npos; at = html.find(own, at)) html.erase(at, own.size());
    Check(html.find_first_of("<>\"&") == std::string::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = [] {
        g_mapDocomo.Store(0xF89F, SUN);
        g_mapDocomo.Store(0xF8A0, CLOUD);
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
    const std::string html = ReplaceHtmlPictographs(text, g_mapDocomo, found);
    Check(found || html == text);
    found = false;
    const std::string utf8Html = ReplaceUtf8HtmlPictographs(text, CARRIER_DOCOMO, found);
    Check(found || utf8Html == text);
    return 0;
}
