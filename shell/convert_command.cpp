#include "shell/convert_command.h"

#include <cstring>
#include <new>
#include <string>

#include "mime/message_rewriter.h"
#include "settings/plugin_settings.h"

namespace {

constexpr int32_t HEADER_SIZE = 1024;
constexpr int32_t MARKER_SIZE = 2048;

// The header of the current message as the host writes it into buffer, which ends in NUL
// however much the host wrote.
template <int32_t Size>
const char* ReadHeader(const char* name, char (&buffer)[Size]) {
    std::memset(buffer, 0, Size);
    g_hostApi.BKA_GetSpecifiedHeader(name, buffer, Size - 1);
    buffer[Size - 1] = '\0';
    return buffer;
}

CarrierCode ClassifyCurrentSender() {
    char from[HEADER_SIZE];
    ReadHeader("From", from);
    return g_pSettings ? g_pSettings->ClassifySender(from) : CARRIER_NONE;
}

// The rewritten source, or nothing when the host is to keep its own.
std::optional<std::string> RewriteForHost(std::string_view source, const char* subject, CarrierCode carrier,
                                          RewriteReport* report) {
    try {
        bool changed = false;
        std::string rewritten = RewriteMessage(source, subject, true, changed, carrier, report);
        // The host reads the source up to its first NUL: all after it would be lost for good.
        if (!changed || rewritten.find('\0') != std::string::npos) return std::nullopt;
        return rewritten;
    } catch (const std::bad_alloc&) {
        // Out of memory on a huge message: the host's message stays as it was.
        return std::nullopt;
    }
}

}  // namespace

bool IsConvertible() {
    char marker[MARKER_SIZE];
    if (std::memcmp(ReadHeader(MARKER_HEADER, marker), "true", 5) == 0) return false;
    return ClassifyCurrentSender() != CARRIER_NONE;
}

uint32_t BKAPI ConvertCommandState(intptr_t, intptr_t) {
    try {
        return IsConvertible() ? 0 : 1;
    } catch (...) {
        return 1;
    }
}

std::optional<std::string> ConvertSource(std::string_view source, RewriteReport* report) {
    const CarrierCode carrier = ClassifyCurrentSender();
    char subject[HEADER_SIZE];
    ReadHeader("Subject", subject);
    return RewriteForHost(source, subject, carrier, report);
}

void BKAPI ConvertCurrentMail(intptr_t, intptr_t) {
    try {
        const CarrierCode carrier = ClassifyCurrentSender();
        char subject[HEADER_SIZE];
        ReadHeader("Subject", subject);
        const char* source = g_hostApi.BKA_GetSource(nullptr);
        if (!source) return;
        // The host's buffer is the host's: the rewrite reads a copy of it.
        const std::string copy(source);
        if (const std::optional<std::string> rewritten = RewriteForHost(copy, subject, carrier, nullptr))
            g_hostApi.BKA_SetSource(nullptr, rewritten->c_str());
    } catch (...) {
        // Out of memory on a huge message: the host's message stays as it was.
    }
}
