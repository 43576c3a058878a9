// Placeholder until the settings store lands.
#include "core/isp_settings.h"
