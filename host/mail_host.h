// A stand-in for the mail client: it holds one current message and answers the service
// functions the plug-in calls, recording what the plug-in asked of it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "shell/host_api.h"

struct RegisteredCommand {
    std::string description;
    int32_t menuKind = 0;
    BkCommandProc command = nullptr;
    BkStateProc state = nullptr;  // set by BKA_RegisterUICallback
};

class MailHost {
public:
    void SetVersion(std::string version) { m_version = std::move(version); m_hasVersion = true; }
    // From now on BKA_GetVersion answers with a null pointer.
    void ClearVersion() { m_hasVersion = false; }
    void SetCurrentMessage(std::string source);
    const std::string& CurrentSource() const { return m_source; }
    // The current message handed back to the caller, which gave it.
    std::string TakeCurrentMessage() { return std::move(m_source); }
    int SetSourceCalls() const { return m_setSourceCalls; }
    const std::vector<RegisteredCommand>& Commands() const { return m_commands; }
    // Command identifiers handed out start here, so that they never clash with the host's own.
    static constexpr int32_t FIRST_COMMAND_ID = 40000;

    // The service functions, as the exported BKA_* names forward them.
    const char* GetVersion() const { return m_hasVersion ? m_version.c_str() : nullptr; }
    int32_t RegisterCommand(const char* description, int32_t menuKind, BkCommandProc command);
    int32_t RegisterUICallback(int32_t commandId, BkStateProc state);
    int32_t GetSpecifiedHeader(const char* name, char* buffer, int32_t size) const;
    char* GetSource();
    int32_t SetSource(const char* source);
    char* Iso2022Jp(const char* text, int32_t direction);

private:
    std::string m_version = "2.75.00";
    bool m_hasVersion = true;
    std::string m_source;
    std::string m_handedSource;  // the copy BKA_GetSource returns; the caller copies it at once
    std::string m_converted;     // the last result of BKA_ISO_2022_JP
    // Each header asked for, decoded once per message: names in lower case, values decoded.
    mutable std::map<std::string, std::string> m_decodedHeaders;
    int m_setSourceCalls = 0;
    std::vector<RegisteredCommand> m_commands;
};

// The value of the first header field of the message's header block named name (compared
// without regard to case), its folded lines joined; empty when there is none.
[[nodiscard]] std::string FindHeaderField(std::string_view message, std::string_view name);

// The host of this process; the exported service functions have no other way to reach it.
MailHost& TheMailHost();

// Fills table with the built-in host's functions, as binding fills it from the client.
void BindBuiltinHost(CHostApi& table);
