#include <sys/random.h>

#include <cstring>

#include "platform/guid.h"

namespace {

// 128 random bits. The system's generator is asked once for a seed; a system call for each of
// thousands of boundaries would cost more than the rest of a message's conversion.
bool RandomBits(unsigned char (&bytes)[16]) {
    thread_local uint64_t state[2] = {};
    thread_local bool seeded = false;
    if (!seeded) {
        if (getrandom(state, sizeof state, 0) != static_cast<ssize_t>(sizeof state)) return false;
        seeded = true;
    }
    // splitmix64 on each word of the state: a new, evenly spread value for each call.
    for (int half = 0; half < 2; ++half) {
        uint64_t z = (state[half] += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        std::memcpy(bytes + 8 * half, &z, 8);
    }
    return true;
}

}  // namespace

bool CreateGuid(Guid& guid) {
    unsigned char bytes[16];
    if (!RandomBits(bytes)) return false;
    guid.data1 = static_cast<uint32_t>(bytes[0]) << 24 | static_cast<uint32_t>(bytes[1]) << 16 |
                 static_cast<uint32_t>(bytes[2]) << 8 | bytes[3];
    guid.data2 = static_cast<uint16_t>(bytes[4] << 8 | bytes[5]);
    guid.data3 = static_cast<uint16_t>(bytes[6] << 8 | bytes[7]);
    for (int i = 0; i < 8; ++i) guid.data4[i] = bytes[8 + i];
    return true;
}
