// Helpers shared by the Win32 wrappers (not part of the seam).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/types.h"

namespace zep::win32 {

// A system DLL that must not be found beside the program: it is loaded by
// its full path in the system directory on first use and kept for the rest
// of the process. A failed load is retried on the next call.
class SystemDll {
public:
    // constexpr: the static instances are then initialised without the
    // library's thread-safe guard.
    constexpr explicit SystemDll(const char* fileName) : fileName_(fileName) {}

    // The module, or nullptr with *error set (ERROR_MOD_NOT_FOUND when the
    // loader gives no better code).
    HMODULE Module(uint32_t* error);

    // The function's address, or nullptr with *error set to the load error
    // or ERROR_PROC_NOT_FOUND.
    template <class F>
    F Find(const char* name, uint32_t* error) {
        return reinterpret_cast<F>(reinterpret_cast<void (*)()>(FindRaw(name, error)));
    }

private:
    FARPROC FindRaw(const char* name, uint32_t* error);

    const char* fileName_;
    void* volatile module_ = nullptr;
};

SystemDll& Winspool();
SystemDll& SetupApi();
SystemDll& Shlwapi();

// A function that older systems lack, looked up in an already loaded module
// on every call; nullptr when the module or the function is missing.
template <class F>
F Optional(HMODULE module, const char* name) {
    if (!module) return nullptr;
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// The outcome of a BOOL call whose error code was read right after it.
inline Status Outcome(BOOL ok, DWORD error) { return ok ? Status::Ok() : Status::Fail(error); }

// The outcome of the BOOL call that is the argument: its code is read
// first thing, so nothing runs between the call and GetLastError.
Status StatusOf(BOOL ok);

// One call of a function of a system DLL with a BOOL result: looked up,
// called, its code read right after it; the look-up's error when the
// function cannot be had.
template <class Fn, class... Args>
Status CallIn(SystemDll& dll, const char* name, Args... args) {
    uint32_t error = 0;
    Fn fn = dll.Find<Fn>(name, &error);
    if (!fn) return Status::Fail(error);
    return StatusOf(fn(args...));
}
// CallIn of the function `fn` of `dll`, typed from its declaration.
#define ZEP_CALL_IN(dll, fn, ...) ::zep::win32::CallIn<decltype(&::fn)>(dll, #fn, __VA_ARGS__)

// Nullable string fields of the Win32 records: an empty string stands for
// "not given" (NULL), as a zero-filled record would have it.
inline char* OrNull(const std::string& s) {
    return s.empty() ? nullptr : const_cast<char*>(s.c_str());
}
inline char* Mutable(const std::string& s) { return const_cast<char*>(s.c_str()); }
std::string Str(const char* s);  // out of line: the records convert many

// Splits a list of NUL-terminated strings that ends with an empty one,
// never reading past `end`.
std::vector<std::string> SplitMultiSz(const char* p, const char* end);

// Buffers for the size/data call pairs. Aligned for the records the
// enumerations place at their start.
class Buffer {
public:
    explicit Buffer(size_t size = 0) { Resize(size); }
    void Resize(size_t size) { words_.assign((size + sizeof(uint64_t) - 1) / sizeof(uint64_t) + 1, 0); }
    BYTE* data() { return reinterpret_cast<BYTE*>(words_.data()); }
    // The usable size (one spare word is kept so strings always end in NUL).
    DWORD size() const { return static_cast<DWORD>((words_.size() - 1) * sizeof(uint64_t)); }

private:
    std::vector<uint64_t> words_;
};

template <class H>
inline H FromHandle(const void* h) {
    return static_cast<H>(reinterpret_cast<uintptr_t>(h));
}
template <class H>
inline HANDLE ToHandle(H h) {
    return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(h));
}

}  // namespace zep::win32
