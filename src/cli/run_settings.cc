#include "cli/run_settings.h"

RunSettings runSettings;
