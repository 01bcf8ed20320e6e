// The plug-in as the Wine test host loads it: once, from the test host's own folder.
#pragma once

#include <windows.h>


HMODULE Plugin();

// An export of the plug-in, as the host would call it.
template <typename Proc>
Proc PluginExport(const char* name) {
    return reinterpret_cast<Proc>(reinterpret_cast<void*>(GetProcAddress(Plugin(), name)));
}
