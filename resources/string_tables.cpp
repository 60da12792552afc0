#include "resources/string_tables.h"

#include "resources/product.h"

namespace zep {

#define ZEP_STRING(name, id, text) {id, text},

std::map<uint32_t, std::string> InstallerStringTable() {
    return {
#include "resources/installer_strings.h"
    };
}

std::map<uint32_t, std::string> UninstallerStringTable() {
    return {
#include "resources/uninstaller_strings.h"
    };
}

#undef ZEP_STRING

}  // namespace zep
