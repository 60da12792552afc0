// Text helpers of the simulated machine.
#include <cctype>
#include <cstdio>

#include "platform/sim/state.h"

namespace zep::sim {

std::string Upper(std::string s) {
    for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool IEquals(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool IContains(const std::string& haystack, const std::string& needle) {
    return Upper(haystack).find(Upper(needle)) != std::string::npos;
}

bool IStartsWith(const std::string& s, const std::string& prefix) {
    return s.size() >= prefix.size() && IEquals(s.substr(0, prefix.size()), prefix);
}

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return "";
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

std::string Hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", v);
    return buf;
}

std::string HexBytes(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

uint64_t Fnv1a(const std::string& data) {
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : data) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

namespace {

bool Glob(const std::string& p, size_t pi, const std::string& n, size_t ni) {
    // Iterative * with back-tracking to the last star.
    size_t starP = std::string::npos, starN = 0;
    while (ni < n.size()) {
        if (pi < p.size() && (p[pi] == '?' || p[pi] == n[ni])) {
            ++pi;
            ++ni;
        } else if (pi < p.size() && p[pi] == '*') {
            starP = pi++;
            starN = ni;
        } else if (starP != std::string::npos) {
            pi = starP + 1;
            ni = ++starN;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '*') ++pi;
    return pi == p.size();
}

}  // namespace

bool WildcardMatch(const std::string& pattern, const std::string& name) {
    std::string p = Upper(pattern), n = Upper(name);
    if (p == "*.*") p = "*";
    if (Glob(p, 0, n, 0)) return true;
    // "name.*" also matches "name": the extension may be empty.
    if (p.size() >= 2 && p.compare(p.size() - 2, 2, ".*") == 0 && n.find('.') == std::string::npos)
        return Glob(p.substr(0, p.size() - 2), 0, n, 0);
    return false;
}

std::string DwordBytes(uint32_t v) {
    std::string b(4, '\0');
    for (int i = 0; i < 4; ++i) b[i] = char((v >> (8 * i)) & 0xFF);
    return b;
}

std::string SzBytes(const std::string& s) { return s + std::string(1, '\0'); }

std::string MultiSzBytes(const std::vector<std::string>& items) {
    std::string out;
    for (const std::string& s : items) out += s + std::string(1, '\0');
    out += std::string(1, '\0');
    return out;
}

std::string NameOrNull(const char* s) { return s ? std::string(s) : std::string(); }

}  // namespace zep::sim
