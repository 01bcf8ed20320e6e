#include "shell/host_api.h"

CHostApi g_hostApi;
