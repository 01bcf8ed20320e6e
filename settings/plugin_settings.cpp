#include "settings/plugin_settings.h"

#include <algorithm>

#include "base/bytes.h"
#include "platform/ini_file.h"

namespace {

constexpr char SECTION[] = "Config";
constexpr char BLANKS[] = " \n\t\r";

}  // namespace

CPluginSettings::CPluginSettings(std::string iniPath) : m_strIniPath(std::move(iniPath)) {
    ResetToDefaults();
}

void CPluginSettings::ResetToDefaults() {
    m_bAutoMode = false;
    m_bEmbedImages = false;
    m_nDefaultCarrier = CARRIER_NONE;
    m_listAU.assign(1, AU_MAIL_DOMAIN);
    m_listDocomo.clear();
    m_listSoftbank.clear();
}

void CPluginSettings::Load() {
    ResetToDefaults();
    if (m_strIniPath.empty()) return;
    m_bAutoMode = ReadIniValue(SECTION, "Auto Mode", "false", m_strIniPath) == "true";
    m_bEmbedImages = ReadIniValue(SECTION, "Embed Images", "false", m_strIniPath) == "true";
    const struct {
        const char* key;
        const char* fallback;
        std::vector<std::string>& list;
        CarrierCode carrier;
    } carriers[] = {
        {"AU List", AU_MAIL_DOMAIN, m_listAU, CARRIER_AU},
        {"Docomo List", "", m_listDocomo, CARRIER_DOCOMO},
        {"Softbank List", "", m_listSoftbank, CARRIER_SOFTBANK},
    };
    for (const auto& c : carriers) {
        ParsedList parsed = ParseListValue(ReadIniValue(SECTION, c.key, c.fallback, m_strIniPath).c_str());
        c.list = std::move(parsed.entries);
        if (parsed.hasWildcard) m_nDefaultCarrier = c.carrier;
    }
}

void CPluginSettings::Save() {
    if (m_strIniPath.empty()) return;
    WriteIniValue(SECTION, "Auto Mode", m_bAutoMode ? "true" : "false", m_strIniPath);
}

CarrierCode CPluginSettings::ClassifySender(std::string_view from) const {
    const auto occurs = [from](const std::string& entry) { return from.find(entry) != std::string_view::npos; };
    if (std::any_of(m_listAU.begin(), m_listAU.end(), occurs)) return CARRIER_AU;
    if (std::any_of(m_listDocomo.begin(), m_listDocomo.end(), occurs)) return CARRIER_DOCOMO;
    if (std::any_of(m_listSoftbank.begin(), m_listSoftbank.end(), occurs)) return CARRIER_SOFTBANK;
    return m_nDefaultCarrier;
}

ParsedList ParseListValue(const char* value) {
    ParsedList parsed;
    std::string_view rest = value ? value : "";
    for (size_t comma = rest.find(','); comma != std::string_view::npos; comma = rest.find(',')) {
        parsed.entries.emplace_back(Trim(rest.substr(0, comma), BLANKS));
        rest.remove_prefix(comma + 1);
    }
    if (const std::string_view last = Trim(rest, BLANKS); !last.empty()) parsed.entries.emplace_back(last);

    const auto wildcard = std::remove(parsed.entries.begin(), parsed.entries.end(), "*");
    parsed.hasWildcard = wildcard != parsed.entries.end();
    parsed.entries.erase(wildcard, parsed.entries.end());
    return parsed;
}

