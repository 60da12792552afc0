// printf-style formatting into a fixed buffer, for the log and the message
// boxes; names compared as the system compares them, and paths joined.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

#if defined(__GNUC__)
#define ZEP_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define ZEP_PRINTF(fmt, args)
#endif

namespace zep {

// Formats into buf, which holds size bytes (size > 0). A text that does not
// fit is cut to size - 1 characters; the result always ends with a NUL.
// Returns the length of the text written.
size_t FormatV(char* buf, size_t size, const char* format, va_list args);
size_t Format(char* buf, size_t size, const char* format, ...) ZEP_PRINTF(3, 4);

// Printer and port names as the spooler compares them: letter case ignored.
bool EqualsNoCase(const std::string& a, const std::string& b);

// "<folder>\<name>". Out of line: the programs build many paths.
std::string JoinPath(const std::string& folder, const char* name);
std::string JoinPath(const std::string& folder, const std::string& name);

}  // namespace zep
