// The character set an HTML document declares in its own markup, found as the HTML standard's
// prescan finds it: <meta charset> or <meta http-equiv="Content-Type" content="...charset=...">
// in its first 1,024 bytes, comments and other tags passed over.
#pragma once

#include <string>
#include <string_view>

// The label as written (in lower case), or empty when the document declares none.
[[nodiscard]] std::string PrescanHtmlCharset(std::string_view html);
