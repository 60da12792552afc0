#include "platform/win32/win32_internal.h"

namespace zep::win32 {

HMODULE SystemDll::Module(uint32_t* error) {
    void* loaded = module_;
    if (loaded) return static_cast<HMODULE>(loaded);

    // Only the system directory: a DLL of the same name beside the program
    // (a downloads folder) must never be picked up.
    char dir[MAX_PATH + 1] = {};
    UINT n = GetSystemDirectoryA(dir, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        DWORD e = GetLastError();
        *error = e ? e : ERROR_MOD_NOT_FOUND;
        return nullptr;
    }
    std::string path = std::string(dir, n) + "\\" + fileName_;
    HMODULE module = LoadLibraryA(path.c_str());
    if (!module) {
        DWORD e = GetLastError();
        *error = e ? e : ERROR_MOD_NOT_FOUND;
        return nullptr;
    }
    // Two threads may load at once: keep the first, drop the extra reference.
    void* previous = InterlockedCompareExchangePointer(const_cast<void**>(&module_), module, nullptr);
    if (previous) {
        FreeLibrary(module);
        return static_cast<HMODULE>(previous);
    }
    return module;
}

FARPROC SystemDll::FindRaw(const char* name, uint32_t* error) {
    HMODULE module = Module(error);
    if (!module) return nullptr;
    FARPROC proc = GetProcAddress(module, name);
    if (!proc) *error = ERROR_PROC_NOT_FOUND;
    return proc;
}

SystemDll& Winspool() {
    static SystemDll dll("winspool.drv");
    return dll;
}

SystemDll& SetupApi() {
    static SystemDll dll("setupapi.dll");
    return dll;
}

SystemDll& Shlwapi() {
    static SystemDll dll("shlwapi.dll");
    return dll;
}

std::string Str(const char* s) { return s ? std::string(s) : std::string(); }

Status StatusOf(BOOL ok) {
    DWORD e = GetLastError();
    return Outcome(ok, e);
}

std::vector<std::string> SplitMultiSz(const char* p, const char* end) {
    std::vector<std::string> out;
    while (p && p < end && *p) {
        const char* q = p;
        while (q < end && *q) ++q;
        out.emplace_back(p, q);
        p = q + 1;
    }
    return out;
}

}  // namespace zep::win32
