// Small helpers for the conformance cases; everything goes through the seam.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "tests/conformance/fixture.h"

namespace zep::conformance {

inline std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

inline bool EndsWithI(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() && Lower(s.substr(s.size() - suffix.size())) == Lower(suffix);
}

inline bool StartsWithI(const std::string& s, const std::string& prefix) {
    return s.size() >= prefix.size() && Lower(s.substr(0, prefix.size())) == Lower(prefix);
}

inline bool ContainsI(const std::vector<std::string>& names, const std::string& name) {
    return std::any_of(names.begin(), names.end(),
                       [&](const std::string& n) { return Lower(n) == Lower(name); });
}

inline std::string In(const std::string& name) { return Scratch() + "\\" + name; }

// Creates (or replaces) a file with the given bytes.
inline ::testing::AssertionResult PutFile(const std::string& path, const std::string& bytes) {
    Kernel& k = Os().kernel;
    Result<HFile> f = k.CreateFileA(path, kGenericWrite, 0, kCreateAlways, kFileAttributeNormal);
    if (!f.ok) return ::testing::AssertionFailure() << "create " << path << ": " << f.error;
    Status w = k.WriteFile(f.value, bytes);
    k.CloseHandle(f.value);
    if (!w.ok) return ::testing::AssertionFailure() << "write " << path << ": " << w.error;
    return ::testing::AssertionSuccess();
}

// The whole file, or "<error N>" when it cannot be read.
inline std::string GetFile(const std::string& path) {
    Kernel& k = Os().kernel;
    Result<HFile> f = k.CreateFileA(path, kGenericRead, kFileShareRead, kOpenExisting,
                                    kFileAttributeNormal);
    if (!f.ok) return "<error " + std::to_string(f.error) + ">";
    std::string all;
    for (;;) {
        Result<std::string> r = k.ReadFile(f.value, 4096);
        if (!r.ok) {
            all = "<error " + std::to_string(r.error) + ">";
            break;
        }
        if (r.value.empty()) break;
        all += r.value;
    }
    k.CloseHandle(f.value);
    return all;
}

inline bool Exists(const std::string& path) {
    return Os().kernel.GetFileAttributesA(path).ok;
}

}  // namespace zep::conformance
