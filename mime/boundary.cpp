#include "mime/boundary.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <random>

#include "platform/guid.h"

namespace {

// An alternative boundary of ours: these around a GUID's 32 hexadecimal digits.
constexpr std::string_view BOUNDARY_HEAD = "--------_", BOUNDARY_TAIL = "_MULTIPART_ALTERNATIVE_";

// When the platform has no GUID to give: random bits mixed with a count and the clock, so
// that boundaries still differ.
Guid FallbackGuid() {
    static uint64_t count = 0;
    uint64_t state = ++count ^ static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    try {
        state ^= static_cast<uint64_t>(std::random_device()()) << 32;
    } catch (...) {
    }
    const auto next = [&state] {  // splitmix64
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    };
    const uint64_t high = next(), low = next();
    Guid guid;
    guid.data1 = static_cast<uint32_t>(high >> 32);
    guid.data2 = static_cast<uint16_t>(high >> 16);
    guid.data3 = static_cast<uint16_t>(high);
    for (int i = 0; i < 8; ++i) guid.data4[i] = static_cast<uint8_t>(low >> (8 * i));
    return guid;
}

}  // namespace

std::string MakeAlternativeBoundary() {
    Guid guid;
    if (!CreateGuid(guid)) guid = FallbackGuid();
    // The GUID's fields in hexadecimal, as "%08x%04x%04x" and eight "%02x" would write them.
    uint8_t bytes[16] = {static_cast<uint8_t>(guid.data1 >> 24), static_cast<uint8_t>(guid.data1 >> 16),
                         static_cast<uint8_t>(guid.data1 >> 8),  static_cast<uint8_t>(guid.data1),
                         static_cast<uint8_t>(guid.data2 >> 8),  static_cast<uint8_t>(guid.data2),
                         static_cast<uint8_t>(guid.data3 >> 8),  static_cast<uint8_t>(guid.data3)};
    std::memcpy(bytes + 8, guid.data4, 8);
    char boundary[BOUNDARY_HEAD.size() + 32 + BOUNDARY_TAIL.size()];
    char* at = std::copy(BOUNDARY_HEAD.begin(), BOUNDARY_HEAD.end(), boundary);
    for (const uint8_t byte : bytes) {
        *at++ = "0123456789abcdef"[byte >> 4];
        *at++ = "0123456789abcdef"[byte & 15];
    }
    std::copy(BOUNDARY_TAIL.begin(), BOUNDARY_TAIL.end(), at);
    return std::string(boundary, sizeof boundary);
}

std::string MakeRelatedBoundary() {
    std::string boundary = MakeAlternativeBoundary();
    constexpr std::string_view ALTERNATIVE = "_MULTIPART_ALTERNATIVE_";
    boundary.replace(boundary.size() - ALTERNATIVE.size(), ALTERNATIVE.size(), "_MULTIPART_RELATED_");
    return boundary.replace(0, boundary.find('_'), "=");
}
