// kernel32 and the C run-time behind zep::Kernel.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "platform/win32/win32_internal.h"
#include "platform/win32/win32_platform.h"

namespace zep {
namespace {

using win32::FromHandle;
using win32::StatusOf;
using win32::ToHandle;

// GetWindowsDirectoryA and GetSystemDirectoryA: a too-small buffer is answered
// with the size needed, so a long path gets a second call.
template <class Call>
Result<std::string> DirectoryCall(Call call) {
    std::vector<char> buf(MAX_PATH + 1);
    for (int attempt = 0; attempt < 2; ++attempt) {
        UINT n = call(buf.data(), static_cast<UINT>(buf.size()));
        if (n == 0) return Result<std::string>::Fail(GetLastError());
        if (n < buf.size()) return Result<std::string>::Ok(std::string(buf.data(), n));
        buf.assign(n + 1, '\0');
    }
    return Result<std::string>::Fail(ERROR_INSUFFICIENT_BUFFER);
}

HMODULE Kernel32() { return GetModuleHandleA("kernel32"); }

class Win32KernelImpl final : public Kernel {
public:
    Result<std::string> GetWindowsDirectoryA() override {
        return DirectoryCall([](char* b, UINT n) { return ::GetWindowsDirectoryA(b, n); });
    }

    Result<std::string> GetSystemDirectoryA() override {
        return DirectoryCall([](char* b, UINT n) { return ::GetSystemDirectoryA(b, n); });
    }

    std::optional<Result<std::string>> GetSystemWow64DirectoryA() override {
        using Fn = UINT(WINAPI*)(LPSTR, UINT);
        Fn fn = win32::Optional<Fn>(Kernel32(), "GetSystemWow64DirectoryA");
        if (!fn) return std::nullopt;
        return DirectoryCall(fn);
    }

    Result<std::string> GetModuleFileNameA() override {
        // The result is cut without an error on older systems when the buffer
        // is too small: a full buffer is taken as too small and grown.
        std::vector<char> buf(MAX_PATH + 1);
        for (int attempt = 0; attempt < 4; ++attempt) {
            DWORD n = ::GetModuleFileNameA(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
            DWORD e = GetLastError();
            if (n == 0) return Result<std::string>::Fail(e);
            if (n < buf.size() - 1) return Result<std::string>::Ok(std::string(buf.data(), n));
            buf.assign(buf.size() * 4, '\0');
        }
        return Result<std::string>::Fail(ERROR_INSUFFICIENT_BUFFER);
    }

    Result<HFile> CreateFileA(const std::string& path, uint32_t access, uint32_t share,
                              uint32_t disposition, uint32_t flags) override {
        HANDLE h = ::CreateFileA(path.c_str(), access, share, nullptr, disposition, flags, nullptr);
        DWORD e = GetLastError();
        if (h == INVALID_HANDLE_VALUE || h == nullptr) return Result<HFile>::Fail(e);
        return Result<HFile>::Ok(FromHandle<HFile>(h));
    }

    Status SetFilePointer(HFile file, int32_t distance, uint32_t method) override {
        DWORD pos = ::SetFilePointer(ToHandle(file), distance, nullptr, method);
        DWORD e = GetLastError();
        return pos == INVALID_SET_FILE_POINTER ? Status::Fail(e) : Status::Ok();
    }

    Status WriteFile(HFile file, const std::string& bytes) override {
        DWORD written = 0;
        BOOL ok = ::WriteFile(ToHandle(file), bytes.data(), static_cast<DWORD>(bytes.size()),
                              &written, nullptr);
        DWORD e = GetLastError();
        if (!ok) return Status::Fail(e);
        // A short write is a failure the caller must see, not a success.
        if (written != bytes.size()) return Status::Fail(ERROR_HANDLE_DISK_FULL);
        return Status::Ok();
    }

    Result<std::string> ReadFile(HFile file, uint32_t maxBytes) override {
        std::string buf(maxBytes, '\0');
        DWORD read = 0;
        BOOL ok = ::ReadFile(ToHandle(file), &buf[0], maxBytes, &read, nullptr);
        DWORD e = GetLastError();
        if (!ok) return Result<std::string>::Fail(e);
        buf.resize(read);
        return Result<std::string>::Ok(std::move(buf));
    }

    Status CloseHandle(HFile file) override { return StatusOf(::CloseHandle(ToHandle(file))); }

    Result<FileInformation> GetFileInformationByHandle(HFile file) override {
        BY_HANDLE_FILE_INFORMATION info;
        BOOL ok = ::GetFileInformationByHandle(ToHandle(file), &info);
        DWORD e = GetLastError();
        if (!ok) return Result<FileInformation>::Fail(e);
        FileInformation out;
        out.attributes = info.dwFileAttributes;
        out.volumeSerial = info.dwVolumeSerialNumber;
        out.numberOfLinks = info.nNumberOfLinks;
        out.fileIndex = (uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
        return Result<FileInformation>::Ok(out);
    }

    Status DeleteFileA(const std::string& path) override {
        return StatusOf(::DeleteFileA(path.c_str()));
    }

    Status CopyFileA(const std::string& source, const std::string& dest,
                     bool failIfExists) override {
        return StatusOf(::CopyFileA(source.c_str(), dest.c_str(), failIfExists));
    }

    Status rename(const std::string& from, const std::string& to) override {
        int r = ::rename(from.c_str(), to.c_str());
        // The run-time's rename is MoveFile underneath; its code is the system's.
        DWORD e = GetLastError();
        if (r == 0) return Status::Ok();
        return Status::Fail(e ? e : ERROR_ACCESS_DENIED);
    }

    Status MoveFileExA(const std::string& from, const char* to, uint32_t flags) override {
        return StatusOf(::MoveFileExA(from.c_str(), to, flags));
    }

    Result<uint32_t> GetFileAttributesA(const std::string& path) override {
        DWORD a = ::GetFileAttributesA(path.c_str());
        DWORD e = GetLastError();
        if (a == INVALID_FILE_ATTRIBUTES) return {false, e, kInvalidFileAttributes};
        return Result<uint32_t>::Ok(a);
    }

    Status SetFileAttributesA(const std::string& path, uint32_t attributes) override {
        return StatusOf(::SetFileAttributesA(path.c_str(), attributes));
    }

    Status CreateDirectoryA(const std::string& path) override {
        return StatusOf(::CreateDirectoryA(path.c_str(), nullptr));
    }

    Status CreateDirectoryWithDacl(const std::string& path, HAcl dacl) override {
        SECURITY_DESCRIPTOR sd;
        InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
        SetSecurityDescriptorDacl(&sd, TRUE, reinterpret_cast<PACL>(static_cast<uintptr_t>(dacl)),
                                  FALSE);
        SECURITY_ATTRIBUTES sa;
        sa.nLength = sizeof(sa);
        sa.lpSecurityDescriptor = &sd;
        sa.bInheritHandle = TRUE;
        return StatusOf(::CreateDirectoryA(path.c_str(), &sa));
    }

    Status RemoveDirectoryA(const std::string& path) override {
        return StatusOf(::RemoveDirectoryA(path.c_str()));
    }

    Result<std::vector<FindRecord>> FindFiles(const std::string& pattern) override {
        WIN32_FIND_DATAA fd;
        HANDLE h = ::FindFirstFileA(pattern.c_str(), &fd);
        DWORD e = GetLastError();
        if (h == INVALID_HANDLE_VALUE) return Result<std::vector<FindRecord>>::Fail(e);
        std::vector<FindRecord> out;
        do {
            out.push_back({fd.cFileName, fd.dwFileAttributes});
        } while (::FindNextFileA(h, &fd));
        e = GetLastError();
        ::FindClose(h);
        // A listing cut short is not a complete listing.
        if (e != ERROR_NO_MORE_FILES) return Result<std::vector<FindRecord>>::Fail(e);
        return Result<std::vector<FindRecord>>::Ok(std::move(out));
    }

    Result<OsVersion> GetVersionExA(uint32_t structSize) override {
        // Room for any size the caller names: the system checks the size
        // field, the buffer must not be what limits it.
        union {
            OSVERSIONINFOEXA ex;
            BYTE raw[512];
        } info{};
        ZeroMemory(&info, sizeof(info));
        info.ex.dwOSVersionInfoSize = structSize;
        BOOL ok = ::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info.ex));
        DWORD e = GetLastError();
        if (!ok) return Result<OsVersion>::Fail(e);
        OsVersion v;
        v.platformId = info.ex.dwPlatformId;
        v.major = info.ex.dwMajorVersion;
        v.minor = info.ex.dwMinorVersion;
        v.build = info.ex.dwBuildNumber;
        const char* csd = info.ex.szCSDVersion;
        v.csdVersion.assign(csd, std::find(csd, csd + sizeof(info.ex.szCSDVersion), '\0'));
        if (structSize >= sizeof(OSVERSIONINFOEXA)) {
            v.servicePackMajor = info.ex.wServicePackMajor;
            v.servicePackMinor = info.ex.wServicePackMinor;
            v.suiteMask = info.ex.wSuiteMask;
            v.productType = info.ex.wProductType;
        }
        return Result<OsVersion>::Ok(v);
    }

    std::optional<Result<bool>> IsWow64Process() override {
#ifdef _WIN64
        // The 64-bit build stands in for the 32-bit program on 64-bit Windows.
        return Result<bool>::Ok(true);
#else
        using Fn = BOOL(WINAPI*)(HANDLE, PBOOL);
        Fn fn = win32::Optional<Fn>(Kernel32(), "IsWow64Process");
        if (!fn) return std::nullopt;
        BOOL wow = FALSE;
        BOOL ok = fn(GetCurrentProcess(), &wow);
        DWORD e = GetLastError();
        if (!ok) return Result<bool>::Fail(e);
        return Result<bool>::Ok(wow != FALSE);
#endif
    }

    void Sleep(uint32_t milliseconds) override { ::Sleep(milliseconds); }

    SystemTime GetLocalTime() override {
        SYSTEMTIME st;
        ::GetLocalTime(&st);
        return {st.wYear, st.wMonth, st.wDayOfWeek, st.wDay,
                st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
    }

    uint32_t WinExec(const std::string& commandLine, uint32_t show) override {
        return ::WinExec(commandLine.c_str(), show);
    }

    Status WaitForProcessExit(uint32_t processId, uint32_t milliseconds) override {
        HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, processId);
        if (!process) return Status::Fail(GetLastError());
        DWORD wait = ::WaitForSingleObject(process, milliseconds);
        DWORD e = GetLastError();
        ::CloseHandle(process);
        if (wait == WAIT_OBJECT_0) return Status::Ok();
        return Status::Fail(wait == WAIT_TIMEOUT ? WAIT_TIMEOUT : e);
    }

    [[noreturn]] void exit(int code) override { ::exit(code); }

    Result<HMutex> CreateMutexA(const std::string& name) override {
        HANDLE h = ::CreateMutexA(nullptr, FALSE, name.c_str());
        DWORD e = GetLastError();
        if (!h) return Result<HMutex>::Fail(e);
        // Success with the code that tells a new mutex from an existing one.
        return {true, e == ERROR_ALREADY_EXISTS ? e : 0, FromHandle<HMutex>(h)};
    }

    Result<std::string> FormatMessageA(uint32_t code, uint32_t languageId) override {
        char* text = nullptr;
        // No arguments are passed, so inserts such as "%1" must stay as text:
        // without IGNORE_INSERTS the system would read them from a null list.
        DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, languageId, reinterpret_cast<LPSTR>(&text), 0,
                                   nullptr);
        DWORD e = GetLastError();
        if (n == 0 || !text) {
            if (text) ::LocalFree(text);
            return Result<std::string>::Fail(e);
        }
        std::string out(text, n);
        ::LocalFree(text);
        return Result<std::string>::Ok(std::move(out));
    }
};

// At namespace scope, constant-initialised: a function-local static would
// need the library's thread-safe guard, and with it its exception support.
Win32KernelImpl g_kernel;

}  // namespace

Kernel& Win32Kernel() { return g_kernel; }

}  // namespace zep
