// The programs' string tables as data, for the host build (the Windows
// build loads the same lists from its resources).
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace zep {

std::map<uint32_t, std::string> InstallerStringTable();
std::map<uint32_t, std::string> UninstallerStringTable();

}  // namespace zep
