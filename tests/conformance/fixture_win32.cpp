// The conformance cases against the real Win32 calls.
#include <windows.h>

#include <string>

#include "platform/win32/win32_platform.h"
#include "tests/conformance/fixture.h"

#ifndef _WIN64
// GoogleTest copies every failure and skip message to OutputDebugStringA,
// which raises an exception that 32-bit Wine under qemu cannot dispatch: the
// program dies at its first skip. The messages go to the console anyway, so
// the 32-bit suite binds that import to a function that drops them.
static void WINAPI DropDebugString(LPCSTR) {}
extern "C" void(WINAPI* const zep_drop_debug_string)(LPCSTR) __asm__(
    "__imp__OutputDebugStringA@4") = DropDebugString;
#endif

namespace zep::conformance {
namespace {

const char kRoot[] = "C:\\zepconf";

// The suite does not use the window system; any call is a mistake in a case.
class NoUser final : public User {
public:
    std::string LoadStringA(uint32_t) override {
        ADD_FAILURE() << "User::LoadStringA is not part of the conformance suite";
        return {};
    }
    Status ExitWindowsEx(uint32_t, uint32_t) override {
        ADD_FAILURE() << "User::ExitWindowsEx is not part of the conformance suite";
        return Status::Fail(kErrAccessDenied);
    }
    int AfxMessageBox(const std::string&, uint32_t) override {
        ADD_FAILURE() << "User::AfxMessageBox is not part of the conformance suite";
        return kIdCancel;
    }
    int MessageBoxA(uintptr_t, const std::string&, const std::string&, uint32_t) override {
        ADD_FAILURE() << "User::MessageBoxA is not part of the conformance suite";
        return kIdCancel;
    }
};

std::string g_scratch;

// Removes a folder and everything in it with plain Win32 calls (not through
// the seam under test), clearing read-only flags the cases leave behind.
void RemoveTree(const std::string& dir) {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::string name = fd.cFileName;
            if (name == "." || name == "..") continue;
            std::string path = dir + "\\" + name;
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else
                DeleteFileA(path.c_str());
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    SetFileAttributesA(dir.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryA(dir.c_str());
}

}  // namespace

// ZEP_CONF_SIM_ONLY=1 runs the sim-only cases too, to see how Wine answers
// them (for instance after a Wine upgrade).
bool IsSim() {
    static const bool force = [] {
        char value[8] = {};
        DWORD n = GetEnvironmentVariableA("ZEP_CONF_SIM_ONLY", value, sizeof(value));
        return n > 0 && n < sizeof(value) && value[0] == '1';
    }();
    return force;
}

bool Program64() { return sizeof(void*) == 8; }

Platform& Os() {
    static NoUser user;
    static Platform platform{Win32Kernel(), Win32Advapi(), user, Win32Spooler(), Win32Setup()};
    return platform;
}

std::string Scratch() { return g_scratch; }

void ConformanceTest::SetUp() {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    g_scratch = std::string(kRoot) + "\\" + info->test_suite_name() + "_" + info->name();
    CreateDirectoryA(kRoot, nullptr);
    RemoveTree(g_scratch);
    ASSERT_TRUE(CreateDirectoryA(g_scratch.c_str(), nullptr))
        << "cannot create " << g_scratch << ": " << GetLastError();
}

void ConformanceTest::TearDown() {
    RemoveTree(g_scratch);
    RemoveDirectoryA(kRoot);  // only when no other case's folder is left
}

}  // namespace zep::conformance
