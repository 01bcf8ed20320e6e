// The module's file and product version, in the two forms the version resource needs.
#pragma once

#define GLYPHORY_VERSION_NUMBERS 1, 1, 0, 0
#define GLYPHORY_VERSION_TEXT "1, 1, 0, 0"
