// The service functions of the stand-in host under their BKA_* names. The Wine test hosts
// export them from their executable, as the mail client does; the native programs bind them
// directly with BindBuiltinHost.
#include "host/mail_host.h"

extern "C" {

const char* BKAPI BKA_GetVersion() { return TheMailHost().GetVersion(); }
int32_t BKAPI BKA_RegisterCommand(const char* description, int32_t menuKind, BkCommandProc command) {
    return TheMailHost().RegisterCommand(description, menuKind, command);
}
int32_t BKAPI BKA_RegisterUICallback(int32_t commandId, BkStateProc state) {
    return TheMailHost().RegisterUICallback(commandId, state);
}
int32_t BKAPI BKA_GetSpecifiedHeader(const char* name, char* buffer, int32_t size) {
    return TheMailHost().GetSpecifiedHeader(name, buffer, size);
}
char* BKAPI BKA_GetSource(const char*) { return TheMailHost().GetSource(); }
int32_t BKAPI BKA_SetSource(const char*, const char* source) { return TheMailHost().SetSource(source); }
char* BKAPI BKA_ISO_2022_JP(const char* text, int32_t direction) {
    return TheMailHost().Iso2022Jp(text, direction);
}

// The plug-in binds the others by name but never calls them.
#define GLYPHORY_STUB_BkAnyProc(name) \
    intptr_t BKAPI BKA_##name() { return 0; }
#define GLYPHORY_STUB_BkGetVersion(name)
#define GLYPHORY_STUB_BkRegisterCommand(name)
#define GLYPHORY_STUB_BkRegisterUICallback(name)
#define GLYPHORY_STUB_BkGetSpecifiedHeader(name)
#define GLYPHORY_STUB_BkGetSource(name)
#define GLYPHORY_STUB_BkSetSource(name)
#define GLYPHORY_STUB_BkIso2022Jp(name)
#define GLYPHORY_STUB(name, type) GLYPHORY_STUB_##type(name)
GLYPHORY_HOST_FUNCTIONS(GLYPHORY_STUB, GLYPHORY_STUB)
#undef GLYPHORY_STUB

}  // extern "C"

void BindBuiltinHost(CHostApi& table) {
#define GLYPHORY_BIND(name, type) table.BKA_##name = reinterpret_cast<type>(&BKA_##name);
    GLYPHORY_HOST_FUNCTIONS(GLYPHORY_BIND, GLYPHORY_BIND)
#undef GLYPHORY_BIND
    table.m_hModule = &TheMailHost();
}
