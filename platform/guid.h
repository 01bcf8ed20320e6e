// New GUIDs, one per alternative boundary.
#pragma once

#include <cstdint>

struct Guid {
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];
};

// False when the platform could not make one.
bool CreateGuid(Guid& guid);
