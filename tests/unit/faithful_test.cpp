// Only the pictographs change: the shared table of messages through the command's conversion, as
// the mail client hands a message to the plug-in.
#include <gtest/gtest.h>

#include "host/mail_host.h"
#include "settings/plugin_settings.h"
#include "shell/convert_command.h"
#include "tests/common/faithful_cases.h"
#include "tests/unit/rewrite_fixture.h"

namespace {

TEST(Faithful, OnlyThePictographsChange) {
    BindBuiltinHost(g_hostApi);
    g_pSettings = std::make_unique<CPluginSettings>("");
    g_pSettings->m_listDocomo = {"docomo.ne.jp"};
    for (const std::string& image : FAITHFUL_IMAGES) {
        const std::string carrier = image.substr(0, image.find('\\')), code = image.substr(image.find('\\') + 1, 4);
        (carrier == "au" ? g_mapAU : g_mapDocomo)
            .Store(static_cast<uint16_t>(std::stoul(code, nullptr, 16)),
                   "<img src=\"file://localhost/C:/G/" + carrier + "/" + code + ".gif\">");
    }
    for (const FaithfulCase& c : FAITHFUL_CASES) {
        TheMailHost().SetCurrentMessage(c.message);
        ConvertCurrentMail(0, 0);
        ExpectFaithful(c, TheMailHost().CurrentSource());
    }
    g_mapAU = PictographMap();
    g_mapDocomo = PictographMap();
    g_pSettings.reset();
}

}  // namespace
