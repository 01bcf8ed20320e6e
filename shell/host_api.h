// The table of the mail client's BKA_* service functions. The client exports them from its
// executable; start-up looks each one up by name. On other platforms the built-in host of
// host/ fills the same table, so every caller goes through it alike.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define BKAPI __stdcall
#else
#define BKAPI
#endif

// Callbacks handed to the host: two machine-word arguments (window, parameter).
using BkCommandProc = void(BKAPI*)(intptr_t, intptr_t);
using BkStateProc = uint32_t(BKAPI*)(intptr_t, intptr_t);

// The seven functions the plug-in calls, with their exact signatures.
using BkGetVersion = const char*(BKAPI*)();
using BkRegisterCommand = int32_t(BKAPI*)(const char* description, int32_t menuKind,
                                          BkCommandProc callback);
using BkRegisterUICallback = int32_t(BKAPI*)(int32_t commandId, BkStateProc callback);
using BkGetSpecifiedHeader = int32_t(BKAPI*)(const char* name, char* buffer, int32_t size);
using BkGetSource = char*(BKAPI*)(const char* mailId);
using BkSetSource = int32_t(BKAPI*)(const char* mailId, const char* source);
using BkIso2022Jp = char*(BKAPI*)(const char* text, int32_t direction);
// Every other function is only bound, never called.
using BkAnyProc = intptr_t(BKAPI*)();

// Direction argument of BKA_ISO_2022_JP.
constexpr int32_t ISO2022JP_TO_SJIS = 0;
constexpr int32_t SJIS_TO_ISO2022JP = 1;

// Slot order of the table. Required names are looked up in this order; the optional ones
// (SetStatus, NextUnread) afterwards. SetStatus keeps its slot beside GetStatus.
#define GLYPHORY_HOST_FUNCTIONS(REQ, OPT)                                                    \
    REQ(GetVersion, BkGetVersion) REQ(Command, BkAnyProc) REQ(GetWindowHandles, BkAnyProc)    \
    REQ(RegisterCommand, BkRegisterCommand) REQ(RegisterUICallback, BkRegisterUICallback)    \
    REQ(GetDataFolder, BkAnyProc) REQ(GetTempFolder, BkAnyProc)                              \
    REQ(GetTempFileName, BkAnyProc) REQ(GetCurrentMailBox, BkAnyProc)                        \
    REQ(SetCurrentMailBox, BkAnyProc) REQ(GetCurrentFolder, BkAnyProc)                       \
    REQ(SetCurrentFolder, BkAnyProc) REQ(GetFolderDisplayName, BkAnyProc)                    \
    REQ(SetMessageText, BkAnyProc) REQ(GetCurrentMail, BkAnyProc)                            \
    REQ(SetCurrentMail, BkAnyProc) REQ(GetNextMail, BkAnyProc) REQ(SetSel, BkAnyProc)        \
    REQ(AppendMessage, BkAnyProc) REQ(MoveSelectedMessages, BkAnyProc)                       \
    REQ(GetStatus, BkAnyProc) OPT(SetStatus, BkAnyProc) REQ(ComposeMail, BkAnyProc)          \
    REQ(GetCharSet, BkAnyProc) REQ(GetSource, BkGetSource) REQ(SetSource, BkSetSource)       \
    REQ(GetHeader, BkAnyProc) REQ(GetText, BkAnyProc) REQ(SetText, BkAnyProc)                \
    REQ(GetSpecifiedHeader, BkGetSpecifiedHeader) REQ(SetSpecifiedHeader, BkAnyProc)         \
    REQ(CompGetCharSet, BkAnyProc) REQ(CompGetSource, BkAnyProc)                             \
    REQ(CompSetSource, BkAnyProc) REQ(CompGetHeader, BkAnyProc)                              \
    REQ(CompGetSpecifiedHeader, BkAnyProc) REQ(CompSetSpecifiedHeader, BkAnyProc)            \
    REQ(CompGetText, BkAnyProc) REQ(CompSetText, BkAnyProc) REQ(CompAttachFile, BkAnyProc)   \
    REQ(Alloc, BkAnyProc) REQ(ReAlloc, BkAnyProc) REQ(Free, BkAnyProc)                       \
    REQ(ISO_2022_JP, BkIso2022Jp) REQ(ISO_2022_KR, BkAnyProc) REQ(HZ_GB2312, BkAnyProc)      \
    REQ(ISO_8859_2, BkAnyProc) REQ(EUC_JP, BkAnyProc) REQ(UTF_7, BkAnyProc)                  \
    REQ(UTF_8, BkAnyProc) REQ(B64Convert, BkAnyProc) REQ(QPConvert, BkAnyProc)               \
    REQ(MIMEHeader, BkAnyProc) REQ(SerializeRcpts, BkAnyProc) REQ(Connect, BkAnyProc)        \
    OPT(NextUnread, BkAnyProc)

class CHostApi {
public:
    // Binds every slot from the host executable. False when a required function is missing,
    // or when a host of version 2.00.06 or later lacks BKA_SetStatus; the table is then
    // left unbound. A table that is already bound stays as it is.
    bool Init();

    void* m_hModule = nullptr;  // the host module; null while unbound
#define GLYPHORY_HOST_SLOT(name, type) type BKA_##name = nullptr;
    GLYPHORY_HOST_FUNCTIONS(GLYPHORY_HOST_SLOT, GLYPHORY_HOST_SLOT)
#undef GLYPHORY_HOST_SLOT
};

// The one table of the module, bound at start-up.
extern CHostApi g_hostApi;
