// A sender's HTML made safe to show in a page opened from disk: parsed as a browser parses it
// (an HTML5 parser), and written again with only the elements and attributes of an allow-list.
// No script, frame, object, form, base, link or meta survives, no event handler, no
// javascript:, vbscript: or data: URL, nothing that loads a resource (an image only where
// imageUrl gives a URL of the export's own; remote images are dropped) and no CSS that could.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

// The URL a page may show for an image's src, or nothing to drop the image.
using ImageUrlOf = std::function<std::optional<std::string>(std::string_view src)>;

// The body of the UTF-8 HTML document, sanitized, as UTF-8 HTML to put inside a page's body;
// nothing where the command is built without an HTML parser (for Windows), or for HTML too
// large to be a mail's decoration, so that the page shows the message's text instead.
[[nodiscard]] std::optional<std::string> SanitizeHtml(std::string_view utf8, const ImageUrlOf& imageUrl);
