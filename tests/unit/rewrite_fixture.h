// What the rewrite tests share: the built-in host, one Docomo image, and results compared
// with their generated boundaries written as <B1>, <B2>, ...
#pragma once

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/mail_host.h"
#include "mime/message_rewriter.h"
#include "render/text_to_html.h"

inline const std::string SUN = "<img src=\"file://localhost/C:/G/docomo/F89F.gif\">";
// The HTML head and tail as ISO-2022-JP, written out by hand.
inline const std::string HEAD = "<HTML>\r\n<BODY>\r\n<FONT  face=\"\x1B$B#M#S\x1B(B \x1B$B%4%7%C%/\x1B(B\" size=\"2\">";
inline const std::string TAIL = "\r\n</FONT>\r\n</BODY>\r\n</HTML>\r\n";
inline const std::string SUBJECT_BLOCK_END = "<BR>----------------------------------------<BR>";

class Rewrite : public ::testing::Test {
protected:
    void SetUp() override {
        BindBuiltinHost(g_hostApi);
        g_mapDocomo.Store(0xF89F, SUN);
    }
    void TearDown() override { g_mapDocomo = PictographMap(); }

    // The result with each boundary written as <B1>, <B2>, ... in order of appearance;
    // every boundary must have the generated form and differ from the others.
    static std::string Normalized(const std::string& message) {
        static const std::regex form("--------_[0-9a-f]{32}_MULTIPART_ALTERNATIVE_");
        std::vector<std::string> seen;
        std::string out;
        auto last = message.cbegin();
        for (std::sregex_iterator it(message.begin(), message.end(), form), end; it != end; ++it) {
            const std::string b = it->str();
            size_t index = static_cast<size_t>(std::find(seen.begin(), seen.end(), b) - seen.begin());
            if (index == seen.size()) seen.push_back(b);
            out.append(last, (*it)[0].first);
            out += "<B" + std::to_string(index + 1) + ">";
            last = (*it)[0].second;
        }
        out.append(last, message.cend());
        return out;
    }

    static std::string Alternative(int n, const std::string& plainCharset, const std::string& encoding,
                                   const std::string& plain, const std::string& html) {
        const std::string b = "<B" + std::to_string(n) + ">";
        return "--" + b + "\r\nContent-Type: text/plain; charset=\"" + plainCharset +
               "\"\r\nContent-Transfer-Encoding: " + encoding + "\r\n\r\n" + plain + "\r\n\r\n--" + b +
               "\r\nContent-Type: text/html; charset=\"ISO-2022-JP\"\r\nContent-Transfer-Encoding: 7bit\r\n\r\n" +
               HEAD + html + TAIL + "--" + b + "--\r\n";
    }
};

