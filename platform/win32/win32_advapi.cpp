// advapi32 (and shlwapi's SHDeleteKeyA) behind zep::Advapi.
#include "platform/win32/win32_internal.h"

#include <aclapi.h>

#include <algorithm>

#include "platform/win32/win32_platform.h"

namespace zep {
namespace {

using win32::FromHandle;
using win32::ToHandle;

// The predefined roots are 32-bit values that a 64-bit HKEY holds sign
// extended; anything else is a handle this process opened.
HKEY ToHkey(HKey key) {
    uintptr_t v = static_cast<uintptr_t>(key);
    if (v >= 0x80000000u && v <= 0x80000006u)
        return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(v)));
    return reinterpret_cast<HKEY>(v);
}

HKey FromHkey(HKEY key) { return FromHandle<HKey>(key); }

PSID ToSid(HSid sid) { return reinterpret_cast<PSID>(static_cast<uintptr_t>(sid)); }

// Opens the service with `access` on the local service control manager,
// runs `query` on it and closes both handles; the code is that of the first
// call that failed.
template <class T, class Query>
Result<T> WithService(const std::string& name, DWORD access, Query query) {
    SC_HANDLE manager = ::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager) return Result<T>::Fail(GetLastError());
    SC_HANDLE service = ::OpenServiceA(manager, name.c_str(), access);
    if (!service) {
        DWORD e = GetLastError();
        ::CloseServiceHandle(manager);
        return Result<T>::Fail(e);
    }
    Result<T> r = query(service);
    ::CloseServiceHandle(service);
    ::CloseServiceHandle(manager);
    return r;
}

class Win32AdvapiImpl final : public Advapi {
public:
    KeyResult RegOpenKeyExA(HKey root, const std::string& subKey, uint32_t options,
                            uint32_t samDesired) override {
        HKEY key = nullptr;
        LONG status = ::RegOpenKeyExA(ToHkey(root), subKey.c_str(), options, samDesired, &key);
        KeyResult r;
        r.status = status;
        if (status == ERROR_SUCCESS) r.key = FromHkey(key);
        return r;
    }

    KeyResult RegCreateKeyExA(HKey root, const std::string& subKey, uint32_t options,
                              uint32_t samDesired) override {
        HKEY key = nullptr;
        DWORD disposition = 0;
        LONG status = ::RegCreateKeyExA(ToHkey(root), subKey.c_str(), 0, nullptr, options,
                                        samDesired, nullptr, &key, &disposition);
        KeyResult r;
        r.status = status;
        if (status == ERROR_SUCCESS) {
            r.key = FromHkey(key);
            r.disposition = disposition;
        }
        return r;
    }

    int32_t RegSetValueExA(HKey key, const std::string& name, uint32_t type,
                           const std::string& data) override {
        return ::RegSetValueExA(ToHkey(key), name.c_str(), 0, type,
                                reinterpret_cast<const BYTE*>(data.data()),
                                static_cast<DWORD>(data.size()));
    }

    Result<RegValue> RegQueryValueExA(HKey key, const std::string& name) override {
        // The value may grow between the calls: ask again while it does.
        std::string data(256, '\0');
        for (;;) {
            DWORD type = 0;
            DWORD size = static_cast<DWORD>(data.size());
            LONG status = ::RegQueryValueExA(ToHkey(key), name.c_str(), nullptr, &type,
                                             reinterpret_cast<BYTE*>(&data[0]), &size);
            if (status == ERROR_MORE_DATA && size > data.size()) {
                data.assign(size, '\0');
                continue;
            }
            if (status != ERROR_SUCCESS) return Result<RegValue>::Fail(status);
            data.resize(size);
            return Result<RegValue>::Ok({name, type, std::move(data)});
        }
    }

    Result<std::vector<std::string>> RegEnumKeys(HKey key) override {
        std::vector<std::string> out;
        for (DWORD index = 0;; ++index) {
            char name[256];  // key names are at most 255 characters
            DWORD size = sizeof(name);
            LONG status = ::RegEnumKeyExA(ToHkey(key), index, name, &size, nullptr, nullptr,
                                          nullptr, nullptr);
            if (status == ERROR_NO_MORE_ITEMS) break;
            if (status != ERROR_SUCCESS) return Result<std::vector<std::string>>::Fail(status);
            out.emplace_back(name, size);
        }
        return Result<std::vector<std::string>>::Ok(std::move(out));
    }

    Result<std::vector<RegValue>> RegEnumValues(HKey key) override {
        std::string name, data;
        std::vector<RegValue> out;
        LONG status = ERROR_MORE_DATA;
        int resized = 0;
        for (DWORD index = 0;;) {
            if (status == ERROR_MORE_DATA) {
                // First pass, or a value grew since the size query: size the
                // buffers from the key and read the same index again.
                DWORD maxName = 0, maxData = 0;
                status = ::RegQueryInfoKeyA(ToHkey(key), nullptr, nullptr, nullptr, nullptr,
                                            nullptr, nullptr, nullptr, &maxName, &maxData,
                                            nullptr, nullptr);
                if (status != ERROR_SUCCESS) return Result<std::vector<RegValue>>::Fail(status);
                name.assign(maxName + 1, '\0');
                data.assign(maxData + 1, '\0');
            }
            DWORD nameSize = static_cast<DWORD>(name.size());
            DWORD dataSize = static_cast<DWORD>(data.size());
            DWORD type = 0;
            status = ::RegEnumValueA(ToHkey(key), index, &name[0], &nameSize, nullptr, &type,
                                     reinterpret_cast<BYTE*>(&data[0]), &dataSize);
            if (status == ERROR_NO_MORE_ITEMS) break;
            if (status == ERROR_MORE_DATA && ++resized < 8) continue;
            if (status != ERROR_SUCCESS) return Result<std::vector<RegValue>>::Fail(status);
            out.push_back({std::string(name.data(), nameSize), type,
                           std::string(data.data(), dataSize)});
            ++index;
        }
        return Result<std::vector<RegValue>>::Ok(std::move(out));
    }

    int32_t RegCloseKey(HKey key) override { return ::RegCloseKey(ToHkey(key)); }

    int32_t SHDeleteKeyA(HKey root, const std::string& subKey) override {
        using Fn = DWORD(WINAPI*)(HKEY, LPCSTR);
        uint32_t error = 0;
        Fn fn = win32::Shlwapi().Find<Fn>("SHDeleteKeyA", &error);
        if (!fn) return static_cast<int32_t>(error);
        return static_cast<int32_t>(fn(ToHkey(root), subKey.c_str()));
    }

    std::optional<int32_t> RegDeleteKeyExA(HKey root, const std::string& subKey,
                                           uint32_t samDesired, uint32_t reserved) override {
        using Fn = LONG(WINAPI*)(HKEY, LPCSTR, REGSAM, DWORD);
        Fn fn = win32::Optional<Fn>(GetModuleHandleA("Advapi32"), "RegDeleteKeyExA");
        if (!fn) return std::nullopt;
        return fn(ToHkey(root), subKey.c_str(), samDesired, reserved);
    }

    Result<HSid> AllocateAndInitializeSid(WellKnownSid which) override {
        SID_IDENTIFIER_AUTHORITY world = {SECURITY_WORLD_SID_AUTHORITY};
        SID_IDENTIFIER_AUTHORITY nt = {SECURITY_NT_AUTHORITY};
        PSID sid = nullptr;
        BOOL ok = FALSE;
        switch (which) {
        case WellKnownSid::Everyone:
            ok = ::AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0,
                                            &sid);
            break;
        case WellKnownSid::Administrators:
            ok = ::AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                            DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &sid);
            break;
        case WellKnownSid::LocalSystem:
            ok = ::AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0,
                                            0, &sid);
            break;
        default:
            return Result<HSid>::Fail(ERROR_INVALID_PARAMETER);
        }
        DWORD e = GetLastError();
        if (!ok) return Result<HSid>::Fail(e);
        return Result<HSid>::Ok(FromHandle<HSid>(sid));
    }

    void FreeSid(HSid sid) override {
        if (sid != HSid::None) ::FreeSid(ToSid(sid));
    }

    Result<HAcl> SetEntriesInAclA(const std::vector<ExplicitAccess>& entries) override {
        std::vector<EXPLICIT_ACCESS_A> ea(entries.size());
        for (size_t i = 0; i < entries.size(); ++i) {
            ZeroMemory(&ea[i], sizeof(ea[i]));
            ea[i].grfAccessPermissions = entries[i].permissions;
            ea[i].grfAccessMode = static_cast<ACCESS_MODE>(entries[i].mode);
            ea[i].grfInheritance = entries[i].inheritance;
            ea[i].Trustee.pMultipleTrustee = nullptr;
            ea[i].Trustee.MultipleTrusteeOperation = NO_MULTIPLE_TRUSTEE;
            ea[i].Trustee.TrusteeForm = TRUSTEE_IS_SID;
            ea[i].Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
            ea[i].Trustee.ptstrName = static_cast<LPSTR>(ToSid(entries[i].trustee));
        }
        PACL acl = nullptr;
        DWORD status = ::SetEntriesInAclA(static_cast<ULONG>(ea.size()),
                                          ea.empty() ? nullptr : ea.data(), nullptr, &acl);
        if (status != ERROR_SUCCESS) return Result<HAcl>::Fail(status);
        return Result<HAcl>::Ok(FromHandle<HAcl>(acl));
    }

    void LocalFree(HAcl acl) override {
        if (acl != HAcl::None) ::LocalFree(ToHandle(acl));
    }

    Result<HToken> OpenProcessToken(uint32_t desiredAccess) override {
        HANDLE token = nullptr;
        BOOL ok = ::OpenProcessToken(GetCurrentProcess(), desiredAccess, &token);
        DWORD e = GetLastError();
        if (!ok) return Result<HToken>::Fail(e);
        return Result<HToken>::Ok(FromHandle<HToken>(token));
    }

    Result<Luid> LookupPrivilegeValueA(const std::string& name) override {
        LUID luid = {};
        BOOL ok = ::LookupPrivilegeValueA(nullptr, name.c_str(), &luid);
        DWORD e = GetLastError();
        if (!ok) return Result<Luid>::Fail(e);
        return Result<Luid>::Ok({luid.LowPart, luid.HighPart});
    }

    Status AdjustTokenPrivileges(HToken token, Luid privilege, uint32_t attributes) override {
        TOKEN_PRIVILEGES tp;
        tp.PrivilegeCount = 1;
        tp.Privileges[0].Luid.LowPart = privilege.low;
        tp.Privileges[0].Luid.HighPart = privilege.high;
        tp.Privileges[0].Attributes = attributes;
        // Success may still mean "not all assigned": the code tells.
        SetLastError(0);
        BOOL ok = ::AdjustTokenPrivileges(ToHandle(token), FALSE, &tp, 0, nullptr, nullptr);
        DWORD e = GetLastError();
        return {ok != FALSE, e};
    }

    Result<ServiceStatus> QueryServiceStatusEx(const std::string& serviceName) override {
        return WithService<ServiceStatus>(serviceName, SERVICE_QUERY_STATUS, [](SC_HANDLE h) {
            SERVICE_STATUS_PROCESS sp = {};
            DWORD needed = 0;
            BOOL ok = ::QueryServiceStatusEx(h, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&sp),
                                             sizeof(sp), &needed);
            DWORD e = GetLastError();
            if (!ok) return Result<ServiceStatus>::Fail(e);
            ServiceStatus out;
            out.serviceType = sp.dwServiceType;
            out.currentState = sp.dwCurrentState;
            out.win32ExitCode = sp.dwWin32ExitCode;
            out.checkPoint = sp.dwCheckPoint;
            out.waitHint = sp.dwWaitHint;
            out.processId = sp.dwProcessId;
            return Result<ServiceStatus>::Ok(out);
        });
    }

    Result<ServiceConfig> QueryServiceConfigA(const std::string& serviceName) override {
        return WithService<ServiceConfig>(serviceName, SERVICE_QUERY_CONFIG, [](SC_HANDLE h) {
            // The size query fails with ERROR_INSUFFICIENT_BUFFER and the
            // size; the configuration may grow in between, so ask again.
            win32::Buffer buf(sizeof(QUERY_SERVICE_CONFIGA));
            for (int attempt = 0;; ++attempt) {
                DWORD needed = 0;
                auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buf.data());
                BOOL ok = ::QueryServiceConfigA(h, config, buf.size(), &needed);
                DWORD e = GetLastError();
                if (!ok && e == ERROR_INSUFFICIENT_BUFFER && needed > buf.size() && attempt < 4) {
                    buf.Resize(needed);
                    continue;
                }
                if (!ok) return Result<ServiceConfig>::Fail(e);
                ServiceConfig out;
                out.serviceType = config->dwServiceType;
                out.startType = config->dwStartType;
                out.binaryPathName = win32::Str(config->lpBinaryPathName);
                return Result<ServiceConfig>::Ok(out);
            }
        });
    }
};

// At namespace scope, constant-initialised: a function-local static would
// need the library's thread-safe guard, and with it its exception support.
Win32AdvapiImpl g_advapi;

}  // namespace

Advapi& Win32Advapi() { return g_advapi; }

}  // namespace zep
