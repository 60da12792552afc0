// The installed-version check.
#pragma once

#include <string>

#include "platform/platform.h"

namespace zep {

// 0: an older version, or parts of the product without version information;
// 1: a newer version; 2: nothing of the product installed; 3: this version;
// kVersionUnknown when the printers cannot be listed (*listError: the code):
// a printer of this version may be among them.
// `environment` is where the driver and the print processor are looked for.
constexpr int kVersionUnknown = -1;
int DriverVersion(Platform& os, const char* environment, std::string driverName,
                  std::string processorName, int major, int minor, int build, int extra,
                  uint32_t* listError = nullptr);

}  // namespace zep
