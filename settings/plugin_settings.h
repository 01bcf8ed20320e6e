// The plug-in's settings and the file beside the module that holds them.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/carrier.h"

// The AU carrier's mail domain: its phones send from addresses in it.
constexpr char AU_MAIL_DOMAIN[] = "ezweb.ne.jp";

class CPluginSettings {
public:
    explicit CPluginSettings(std::string iniPath);
    virtual ~CPluginSettings() = default;

    void ResetToDefaults();
    // Replaces the flag, the lists and the default carrier with what the file says.
    void Load();
    // Writes "Auto Mode" only; a failed write leaves the file as it was and says nothing.
    void Save();
    [[nodiscard]] CarrierCode ClassifySender(std::string_view from) const;
    // Runs the settings dialog; part of the Windows module only.
    void ShowSetupDialog();

    bool m_bAutoMode = false;
    // "Embed Images": a converted message carries its images as parts, for clients (and phones)
    // that cannot open the image folder; else it refers to the files.
    bool m_bEmbedImages = false;
    std::string m_strIniPath;  // empty: no settings file, the defaults hold
    std::vector<std::string> m_listAU;
    std::vector<std::string> m_listDocomo;
    std::vector<std::string> m_listSoftbank;
    CarrierCode m_nDefaultCarrier = CARRIER_NONE;
};

// The one settings object, made and loaded at start-up.
extern std::unique_ptr<CPluginSettings> g_pSettings;

struct ParsedList {
    std::vector<std::string> entries;
    bool hasWildcard = false;
};

// A list value: entries separated by ',', blanks around each trimmed; the entry "*" is
// taken out and reported as the wildcard. An empty piece before a comma is an empty entry.
[[nodiscard]] ParsedList ParseListValue(const char* value);

