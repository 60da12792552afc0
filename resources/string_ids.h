// The string tables' entries by name: what the programs' logic loads.
#pragma once

#include <cstdint>

#include "resources/product.h"

namespace zep {

#define ZEP_STRING(name, id, text) name = id,

// The installer's strings (resources/installer_strings.h).
struct InstallerString {
    enum : uint32_t {
#include "resources/installer_strings.h"
    };
};

// The uninstaller's strings (resources/uninstaller_strings.h).
struct UninstallerString {
    enum : uint32_t {
#include "resources/uninstaller_strings.h"
    };
};

#undef ZEP_STRING

}  // namespace zep
