// The keys a busy main window drops (plain C++: the logic's tests see it too).
#pragma once

#include <cstdint>

namespace zep::fw {

// While busy, every message with wParam 27 (Escape) and the Enter key are
// dropped, so no key ends the program in the middle of its work.
inline bool DropWhileBusy(bool busy, uint32_t message, uintptr_t wParam) {
    constexpr uint32_t kWmKeyDown = 0x100, kWmKeyUp = 0x101, kWmChar = 0x102;
    constexpr uintptr_t kVkReturn = 13, kVkEscape = 27;
    if (!busy) return false;
    if (wParam == kVkEscape) return true;
    bool key = message == kWmKeyDown || message == kWmKeyUp || message == kWmChar;
    return key && wParam == kVkReturn;
}

}  // namespace zep::fw
