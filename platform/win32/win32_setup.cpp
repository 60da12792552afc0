// setupapi.dll behind zep::Setup, loaded from the system directory at run time.
#include "platform/win32/win32_internal.h"

#include <setupapi.h>

#include <algorithm>

#include "platform/win32/win32_platform.h"

#define ZEP_SETUPAPI(fn, err) win32::SetupApi().Find<decltype(&::fn)>(#fn, &(err))

namespace zep {
namespace {

using win32::Buffer;

class Win32SetupImpl final : public Setup {
public:
    Result<std::string> SetupCopyOEMInfA(const std::string& source, uint32_t mediaType,
                                         uint32_t copyStyle) override {
        uint32_t err = 0;
        auto fn = ZEP_SETUPAPI(SetupCopyOEMInfA, err);
        if (!fn) return Result<std::string>::Fail(err);
        // The call takes a full path only (a relative one fails with 2),
        // while the installer names the INF relative to its current folder.
        std::string path = source;
        char full[MAX_PATH + 1];
        DWORD n = GetFullPathNameA(source.c_str(), sizeof full, full, nullptr);
        if (n > 0 && n < sizeof full) path.assign(full, n);
        char dest[MAX_PATH + 1] = {};
        DWORD required = 0;
        BOOL ok = fn(path.c_str(), nullptr, mediaType, copyStyle, dest, MAX_PATH, &required,
                     nullptr);
        DWORD e = GetLastError();
        // The name is also filled in when the copy exists already; after any
        // other failure the buffer may hold garbage (Wine converts its
        // uninitialised wide buffer), so nothing is returned.
        bool named = ok || e == ERROR_FILE_EXISTS;
        return {ok != FALSE, ok ? 0u : e, named ? std::string(dest) : std::string()};
    }

    Result<std::vector<std::string>> SetupGetInfFileListA(const char* directory,
                                                          uint32_t style) override {
        using R = Result<std::vector<std::string>>;
        uint32_t err = 0;
        auto fn = ZEP_SETUPAPI(SetupGetInfFileListA, err);
        if (!fn) return R::Fail(err);
        // A small buffer first: with none, one system answers success and size 0.
        Buffer buf(256);
        DWORD required = 0;
        fn(directory, style, reinterpret_cast<char*>(buf.data()), buf.size(), &required);
        if (required > buf.size()) buf.Resize(required);
        required = 0;
        BOOL ok = fn(directory, style, reinterpret_cast<char*>(buf.data()), buf.size(), &required);
        DWORD e = GetLastError();
        if (!ok) return R::Fail(e);
        const char* begin = reinterpret_cast<const char*>(buf.data());
        DWORD used = std::min<DWORD>(required, buf.size());
        return R::Ok(win32::SplitMultiSz(begin, begin + used));
    }

    InfResult SetupOpenInfFileA(const std::string& fileName, const char* infClass,
                                uint32_t style) override {
        InfResult r;
        uint32_t err = 0;
        auto fn = ZEP_SETUPAPI(SetupOpenInfFileA, err);
        if (!fn) {
            r.error = err;
            return r;
        }
        UINT errorLine = 0;
        HINF inf = fn(fileName.c_str(), infClass, style, &errorLine);
        DWORD e = GetLastError();
        r.errorLine = errorLine;
        if (inf == INVALID_HANDLE_VALUE || inf == nullptr) {
            r.error = e;
            return r;
        }
        r.ok = true;
        r.inf = win32::FromHandle<HInf>(inf);
        return r;
    }

    Status SetupFindFirstLineA(HInf inf, const std::string& section,
                               const std::string& key) override {
        INFCONTEXT context;
        return ZEP_CALL_IN(win32::SetupApi(), SetupFindFirstLineA, win32::ToHandle(inf),
                           section.c_str(), key.c_str(), &context);
    }

    void SetupCloseInfFile(HInf inf) override {
        uint32_t err = 0;
        auto fn = ZEP_SETUPAPI(SetupCloseInfFile, err);
        if (fn && inf != HInf::None) fn(win32::ToHandle(inf));
    }

    std::optional<Status> SetupUninstallOEMInfA(const std::string& infFileName,
                                                uint32_t flags) override {
        // Windows 2000 lacks it: looked up again on every call.
        using Fn = BOOL(WINAPI*)(PCSTR, DWORD, PVOID);
        uint32_t err = 0;
        Fn fn = win32::Optional<Fn>(win32::SetupApi().Module(&err), "SetupUninstallOEMInfA");
        if (!fn) return std::nullopt;
        return win32::StatusOf(fn(infFileName.c_str(), flags, nullptr));
    }
};

// At namespace scope, constant-initialised: a function-local static would
// need the library's thread-safe guard, and with it its exception support.
Win32SetupImpl g_setup;

}  // namespace

Setup& Win32Setup() { return g_setup; }

}  // namespace zep
