#include "common/format.h"

#include <cctype>
#include <cstdio>

namespace zep {

size_t FormatV(char* buf, size_t size, const char* format, va_list args) {
#if defined(_WIN32)
    // The system's msvcrt formatter: mingw-w64's C99 one would add about 25 KB
    // to each program, and the formats used here (%s, %d, %u, %02u) come out
    // the same. It returns -1, or size itself, with no NUL when the text is cut.
    int n = _vsnprintf(buf, size, format, args);
    size_t length = (n < 0 || size_t(n) >= size) ? size - 1 : size_t(n);
#else
    int n = std::vsnprintf(buf, size, format, args);
    size_t length = n < 0 ? 0 : (size_t(n) < size ? size_t(n) : size - 1);
#endif
    buf[length] = '\0';
    return length;
}

size_t Format(char* buf, size_t size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    size_t length = FormatV(buf, size, format, args);
    va_end(args);
    return length;
}

bool EqualsNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string JoinPath(const std::string& folder, const char* name) {
    std::string path = folder;
    path += '\\';
    path += name;
    return path;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    return JoinPath(folder, name.c_str());
}

}  // namespace zep
