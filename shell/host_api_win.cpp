#include <windows.h>

#include "shell/host_api.h"

namespace {

// Hosts from this version on export BKA_SetStatus and must be bound with it.
constexpr char FIRST_VERSION_WITH_SET_STATUS[] = "2.00.06";
constexpr int LONGEST_OLD_VERSION = 7;

template <typename Slot>
bool Lookup(HMODULE module, const char* name, Slot& slot) {
    slot = reinterpret_cast<Slot>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return slot != nullptr;
}

}  // namespace

bool CHostApi::Init() {
    if (m_hModule) return true;
    const HMODULE module = GetModuleHandleA(nullptr);
    if (!module) return false;
    m_hModule = module;

#define GLYPHORY_REQUIRED(name, type)                   \
    if (!Lookup(module, "BKA_" #name, BKA_##name)) { \
        *this = CHostApi();                             \
        return false;                                   \
    }
#define GLYPHORY_LATER(name, type)
    GLYPHORY_HOST_FUNCTIONS(GLYPHORY_REQUIRED, GLYPHORY_LATER)
#define GLYPHORY_OPTIONAL(name, type) Lookup(module, "BKA_" #name, BKA_##name);
    GLYPHORY_HOST_FUNCTIONS(GLYPHORY_LATER, GLYPHORY_OPTIONAL)
#undef GLYPHORY_REQUIRED
#undef GLYPHORY_OPTIONAL
#undef GLYPHORY_LATER

    const char* version = BKA_GetVersion();
    if (!version) version = "";
    if ((lstrlenA(version) > LONGEST_OLD_VERSION ||
         lstrcmpA(version, FIRST_VERSION_WITH_SET_STATUS) >= 0) &&
        !BKA_SetStatus) {
        *this = CHostApi();
        return false;
    }
    return true;
}
