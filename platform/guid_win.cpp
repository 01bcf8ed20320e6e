#include <objbase.h>

#include "platform/guid.h"

bool CreateGuid(Guid& guid) {
    GUID made;
    if (FAILED(CoCreateGuid(&made))) return false;
    guid.data1 = made.Data1;
    guid.data2 = made.Data2;
    guid.data3 = made.Data3;
    for (int i = 0; i < 8; ++i) guid.data4[i] = made.Data4[i];
    return true;
}
