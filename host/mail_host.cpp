#include "host/mail_host.h"
#include "base/bytes.h"

#include <algorithm>
#include <cstring>

#include "host/encoded_words.h"
#include "host/iso2022jp.h"

namespace {

// One line of text from pos, without its line end (CR LF or a lone LF); pos moves past it.
std::string_view NextLine(std::string_view text, size_t& pos) {
    const size_t start = pos;
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    pos = end < text.size() ? end + 1 : end;
    if (end > start && text[end - 1] == '\r') --end;
    return text.substr(start, end - start);
}

}  // namespace

std::string FindHeaderField(std::string_view message, std::string_view name) {
    size_t pos = 0;
    while (pos < message.size()) {
        const std::string_view line = NextLine(message, pos);
        if (line.empty()) break;  // end of the header block
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos || !EqualsIgnoringCase(line.substr(0, colon), name))
            continue;
        std::string value(line.substr(colon + 1));
        while (pos < message.size() && (message[pos] == ' ' || message[pos] == '\t'))
            value += NextLine(message, pos);
        return std::string(SkipBlanks(value));
    }
    return {};
}

void MailHost::SetCurrentMessage(std::string source) {
    m_source = std::move(source);
    m_decodedHeaders.clear();
    m_setSourceCalls = 0;
}

int32_t MailHost::RegisterCommand(const char* description, int32_t menuKind, BkCommandProc command) {
    m_commands.push_back({description ? description : "", menuKind, command, nullptr});
    return FIRST_COMMAND_ID + static_cast<int32_t>(m_commands.size()) - 1;
}

int32_t MailHost::RegisterUICallback(int32_t commandId, BkStateProc state) {
    const int32_t index = commandId - FIRST_COMMAND_ID;
    if (index < 0 || index >= static_cast<int32_t>(m_commands.size())) return 0;
    m_commands[index].state = state;
    return 1;
}

int32_t MailHost::GetSpecifiedHeader(const char* name, char* buffer, int32_t size) const {
    if (!buffer || size <= 0) return 0;
    // Shown as a mail client shows it: encoded words decoded to the bytes they carry.
    std::string key = name ? name : "";
    for (char& c : key) c = static_cast<char>(ToAsciiLower(static_cast<unsigned char>(c)));
    auto it = m_decodedHeaders.find(key);
    if (it == m_decodedHeaders.end())
        it = m_decodedHeaders.emplace(key, name ? DecodeEncodedWords(FindHeaderField(m_source, name)) : std::string()).first;
    const std::string& value = it->second;
    const size_t len = std::min(value.size(), static_cast<size_t>(size) - 1);
    std::memcpy(buffer, value.data(), len);
    buffer[len] = '\0';
    return static_cast<int32_t>(len);
}

char* MailHost::GetSource() {
    m_handedSource = m_source;
    return m_handedSource.data();
}

int32_t MailHost::SetSource(const char* source) {
    ++m_setSourceCalls;
    m_source = source ? source : "";
    m_decodedHeaders.clear();
    return 1;
}

char* MailHost::Iso2022Jp(const char* text, int32_t direction) {
    const std::string_view in = text ? text : "";
    // The last result's buffer serves again, unless the text to convert lies in it.
    const bool inBuffer = in.data() >= m_converted.data() && in.data() <= m_converted.data() + m_converted.size();
    std::string reuse = inBuffer ? std::string() : std::move(m_converted);
    m_converted = direction == ISO2022JP_TO_SJIS ? DecodeIso2022Jp(in, std::move(reuse))
                                                 : EncodeIso2022Jp(in, std::move(reuse));
    return m_converted.data();
}

MailHost& TheMailHost() {
    static MailHost host;
    return host;
}
