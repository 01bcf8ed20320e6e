// The module-wide objects of the core. They need no construction at run time, so they exist
// before the application object is made and are destroyed after it: first the Docomo,
// Softbank and AU maps, then the settings object.
#include "render/pictograph_map.h"
#include "settings/plugin_settings.h"

std::unique_ptr<CPluginSettings> g_pSettings;
PictographMap g_mapAU;
PictographMap g_mapSoftbank;
PictographMap g_mapDocomo;
