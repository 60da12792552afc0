/* Names and the version the sample driver package carries. */
#pragma once

/* The version a printer of this driver reports through the language
 * monitor; the installer compares it with its own. */
#define ZEP_VERSION_MAJOR 1
#define ZEP_VERSION_MINOR 1
#define ZEP_VERSION_BUILD 0
#define ZEP_VERSION_EXTRA 0

#define ZEP_STR2(x) #x
#define ZEP_STR(x) ZEP_STR2(x)
#define ZEP_VERSION_TEXT                                               \
    ZEP_STR(ZEP_VERSION_MAJOR) "." ZEP_STR(ZEP_VERSION_MINOR) "."      \
    ZEP_STR(ZEP_VERSION_BUILD) "." ZEP_STR(ZEP_VERSION_EXTRA)

#define ZEP_DATATYPE_RAW L"RAW"
#define ZEP_WIDEN2(x) L##x
#define ZEP_WIDEN(x) ZEP_WIDEN2(x)
#define ZEP_VERSION_W ZEP_WIDEN(ZEP_VERSION_TEXT)
