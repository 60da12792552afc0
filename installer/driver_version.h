// The installed-version check.
#pragma once

#include <string>

#include "platform/platform.h"

namespace zep {

// 0: an older version, or parts of the product without version information;
// 1: a newer version; 2: nothing of the product installed; 3: this version.
// `environment` is where the driver and the print processor are looked for.
int DriverVersion(Platform& os, const char* environment, std::string driverName,
                  std::string processorName, int major, int minor, int build, int extra);

}  // namespace zep
