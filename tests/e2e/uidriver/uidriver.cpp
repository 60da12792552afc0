// uidriver: drives the programs' dialogs from another process, as a user
// would, for the end-to-end tests. One sub-command per call; results on
// stdout, exit code 0 on success, 1 on a failed check or timeout, 2 on a
// usage error.
//
//   wait-window TITLE [SECONDS]         a top-level window with that title exists
//   wait-gone TITLE [SECONDS]           it no longer exists
//   text TITLE ID                       the control's text
//   wait-text TITLE ID TEXT [SECONDS]   until the control shows TEXT
//   texts TITLE                         every control: "ID<TAB>CLASS<TAB>TEXT"
//   list-items TITLE ID                 every list item: "[x] TEXT" or "[ ] TEXT"
//                                       (the check list keeps the check in the item data)
//   check-item TITLE ID INDEX           mouse click on the item's check box
//   click TITLE ID                      presses a button (BM_CLICK, posted)
//   is-enabled TITLE ID                 prints 1 or 0
//   is-checked TITLE ID                 prints 1 or 0 (a radio button or check box)
//   pos TITLE ID                        a progress bar's position (PBM_GETPOS)
//   key TITLE VK                        key down and up, posted to the window
//   close TITLE                         the system menu's Close (WM_SYSCOMMAND SC_CLOSE)
//   wm-close TITLE                      WM_CLOSE, as the taskbar's Close does
//   sysmenu-has-close TITLE             prints 1 or 0: Close is in the window's system menu
//   answer-box BUTTON-ID [SECONDS]      waits for a message box, prints
//                                       "CAPTION<TAB>TEXT<TAB>OWNER TITLE", presses the button
//   no-box [SECONDS]                    fails if a message box shows within that time
//   rect TITLE                          "LEFT TOP RIGHT BOTTOM" of the window
//   move TITLE X Y                      moves the window
//   activate TITLE                      brings the window to the foreground
//   watch-text TITLE ID [SECONDS]       prints each new text of the control, one
//                                       line per change (polled every 20 ms),
//                                       until the window is gone
//   wait-endsession [SECONDS]           prints "listening", then one line per
//                                       WM_QUERYENDSESSION / WM_ENDSESSION that a
//                                       restart or shutdown request sends to every
//                                       program's windows; fails when none came
//   serve                               runs the commands above read from stdin
//                                       (see ../serve.h): under CPU emulation a
//                                       process start is slow, so one driver
//                                       serves a whole case
#include <windows.h>
#include <commctrl.h>

#include "../serve.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr UINT kSendTimeoutMs = 5000;

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr,
                        nullptr);
    return out;
}

// Text lines shown by the tests: line breaks become "\n" so that one box
// is one output line.
std::string OneLine(const std::wstring& text) {
    std::wstring out;
    for (wchar_t c : text) {
        if (c == L'\r') out += L"\\r";
        else if (c == L'\n') out += L"\\n";
        else if (c == L'\t') out += L"\\t";
        else out += c;
    }
    return Utf8(out);
}

bool Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    DWORD_PTR r = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs, &r))
        return false;
    if (result) *result = static_cast<LRESULT>(r);
    return true;
}

std::wstring WindowText(HWND window) {
    LRESULT length = 0;
    if (!Send(window, WM_GETTEXTLENGTH, 0, 0, &length) || length <= 0) return std::wstring();
    // The text may grow between the two messages (a status line changing):
    // a full buffer is read again with more room, so no text comes out cut.
    size_t size = static_cast<size_t>(length) + 64;
    for (;;) {
        std::vector<wchar_t> buf(size);
        LRESULT got = 0;
        if (!Send(window, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()), &got)) got = 0;
        if (got < 0) got = 0;
        if (static_cast<size_t>(got) + 1 < size || size > 65536)
            return std::wstring(buf.data(), static_cast<size_t>(got));
        size *= 2;
    }
}

std::wstring ClassName(HWND window) {
    wchar_t buf[256];
    int n = GetClassNameW(window, buf, 256);
    return std::wstring(buf, static_cast<size_t>(n > 0 ? n : 0));
}

HWND FindTop(const std::wstring& title) { return FindWindowW(nullptr, title.c_str()); }

// Polls every 50 ms until found or the time is up.
template <class F>
bool WaitFor(double seconds, F found) {
    DWORD end = GetTickCount() + static_cast<DWORD>(seconds * 1000);
    for (;;) {
        if (found()) return true;
        if (static_cast<LONG>(GetTickCount() - end) >= 0) return false;
        Sleep(50);
    }
}

HWND Window(const std::wstring& title) {
    HWND window = nullptr;
    // Windows appear a little after the previous step: give them a moment.
    WaitFor(5, [&] { return (window = FindTop(title)) != nullptr; });
    if (!window) std::fprintf(stderr, "uidriver: no window \"%s\"\n", Utf8(title).c_str());
    return window;
}

HWND Control(const std::wstring& title, int id) {
    HWND window = Window(title);
    if (!window) return nullptr;
    HWND control = GetDlgItem(window, id);
    if (!control) std::fprintf(stderr, "uidriver: no control %d in \"%s\"\n", id, Utf8(title).c_str());
    return control;
}

// A message box: an owned dialog with the static text control 65535.
HWND MessageBoxText(HWND window) {
    if (ClassName(window) != L"#32770" || !IsWindowVisible(window)) return nullptr;
    if (!GetWindow(window, GW_OWNER)) return nullptr;
    HWND text = GetDlgItem(window, 0xFFFF);
    if (!text || lstrcmpiW(ClassName(text).c_str(), L"Static") != 0) return nullptr;
    return text;
}

BOOL CALLBACK MatchMessageBox(HWND window, LPARAM param) {
    if (!MessageBoxText(window)) return TRUE;
    *reinterpret_cast<HWND*>(param) = window;
    return FALSE;
}

HWND FindMessageBox() {
    HWND found = nullptr;
    EnumWindows(MatchMessageBox, reinterpret_cast<LPARAM>(&found));
    return found;
}

void PostKey(HWND window, UINT vk) {
    UINT scan = MapVirtualKeyW(vk, 0);
    PostMessageW(window, WM_KEYDOWN, vk, 1 | (scan << 16));
    PostMessageW(window, WM_KEYUP, vk, 1 | (scan << 16) | (3u << 30));
}

// Asks the window's own thread for its system menu: a hook module is loaded
// into that process, answers one registered message and is removed again.
int SysMenuHasClose(HWND window) {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dll(path, n);
    dll = dll.substr(0, dll.find_last_of(L'\\') + 1) + L"uidriver_hook.dll";
    HMODULE module = LoadLibraryW(dll.c_str());
    if (!module) {
        std::fprintf(stderr, "uidriver: cannot load %s\n", Utf8(dll).c_str());
        return -1;
    }
    auto proc = reinterpret_cast<HOOKPROC>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, "ZepUiDriverGetMsgProc")));
    DWORD thread = GetWindowThreadProcessId(window, nullptr);
    HHOOK hook = proc ? SetWindowsHookExW(WH_GETMESSAGE, proc, module, thread) : nullptr;
    if (!hook) {
        std::fprintf(stderr, "uidriver: cannot hook the window's thread\n");
        return -1;
    }
    UINT query = RegisterWindowMessageW(L"ZepUiDriverSysMenuQuery");
    UINT reply = RegisterWindowMessageW(L"ZepUiDriverSysMenuReply");
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // this thread's queue must exist
    PostMessageW(window, query, GetCurrentThreadId(), 0);
    int answer = -1;
    WaitFor(10, [&] {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == reply) answer = static_cast<int>(msg.wParam);
        }
        return answer != -1;
    });
    UnhookWindowsHookEx(hook);
    if (answer == -1) std::fprintf(stderr, "uidriver: no answer from the window's thread\n");
    return answer;
}

// The window of wait-endsession: a plain top-level window, as the end of a
// session addresses them all.
bool g_sessionEnding = false;

LRESULT CALLBACK EndSessionProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_QUERYENDSESSION) {
        std::printf("query-end-session lParam=0x%08lx\n", static_cast<unsigned long>(lParam));
        std::fflush(stdout);
        g_sessionEnding = true;
        return TRUE;
    }
    if (message == WM_ENDSESSION) {
        std::printf("end-session %d\n", wParam ? 1 : 0);
        std::fflush(stdout);
        g_sessionEnding = true;
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

int WaitEndSession(double seconds) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = EndSessionProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"ZepUiDriverEndSession";
    RegisterClassW(&wc);
    HWND window = CreateWindowExW(WS_EX_TOOLWINDOW, wc.lpszClassName, L"uidriver end-session",
                                  WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, wc.hInstance, nullptr);
    if (!window) return 1;
    ShowWindow(window, SW_SHOWNOACTIVATE);
    std::printf("listening\n");
    std::fflush(stdout);
    DWORD end = GetTickCount() + static_cast<DWORD>(seconds * 1000);
    MSG msg;
    while (!g_sessionEnding && static_cast<LONG>(GetTickCount() - end) < 0) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    // The WM_ENDSESSION that follows the query, if it comes soon.
    DWORD grace = GetTickCount() + 1000;
    while (g_sessionEnding && static_cast<LONG>(GetTickCount() - grace) < 0) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    DestroyWindow(window);
    return g_sessionEnding ? 0 : 1;
}

int Usage() {
    std::fprintf(stderr, "uidriver: bad arguments (see the head of uidriver.cpp)\n");
    return 2;
}

int Run(const std::vector<std::wstring>& a) {
    if (a.empty()) return Usage();
    const std::wstring& cmd = a[0];
    auto arg = [&](size_t i) { return i < a.size() ? a[i] : std::wstring(); };
    auto num = [&](size_t i, double fallback) {
        return i < a.size() ? std::wcstod(a[i].c_str(), nullptr) : fallback;
    };
    auto id = [&](size_t i) { return static_cast<int>(std::wcstol(arg(i).c_str(), nullptr, 0)); };

    if (cmd == L"wait-window") {
        if (a.size() < 2) return Usage();
        return WaitFor(num(2, 30), [&] { return FindTop(a[1]) != nullptr; }) ? 0 : 1;
    }
    if (cmd == L"wait-gone") {
        if (a.size() < 2) return Usage();
        return WaitFor(num(2, 30), [&] { return FindTop(a[1]) == nullptr; }) ? 0 : 1;
    }
    if (cmd == L"text") {
        if (a.size() < 3) return Usage();
        HWND c = Control(a[1], id(2));
        if (!c) return 1;
        std::printf("%s\n", OneLine(WindowText(c)).c_str());
        return 0;
    }
    if (cmd == L"wait-text") {
        if (a.size() < 4) return Usage();
        HWND c = Control(a[1], id(2));
        if (!c) return 1;
        std::wstring last;
        bool ok = WaitFor(num(4, 30), [&] { return (last = WindowText(c)) == a[3]; });
        if (!ok) std::fprintf(stderr, "uidriver: text is \"%s\"\n", OneLine(last).c_str());
        return ok ? 0 : 1;
    }
    if (cmd == L"texts") {
        if (a.size() < 2) return Usage();
        HWND w = Window(a[1]);
        if (!w) return 1;
        for (HWND c = GetWindow(w, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
            std::printf("%d\t%s\t%s\n", static_cast<short>(GetDlgCtrlID(c)), Utf8(ClassName(c)).c_str(),
                        OneLine(WindowText(c)).c_str());
        return 0;
    }
    if (cmd == L"list-items") {
        if (a.size() < 3) return Usage();
        HWND list = Control(a[1], id(2));
        if (!list) return 1;
        LRESULT count = 0;
        if (!Send(list, LB_GETCOUNT, 0, 0, &count)) return 1;
        for (LRESULT i = 0; i < count; ++i) {
            LRESULT length = 0, data = 0;
            Send(list, LB_GETTEXTLEN, i, 0, &length);
            std::vector<wchar_t> buf(static_cast<size_t>(length > 0 ? length : 0) + 1);
            // The W form: the A form returns UTF-16 bytes across processes.
            Send(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(buf.data()), nullptr);
            Send(list, LB_GETITEMDATA, i, 0, &data);
            std::printf("[%c] %s\n", data ? 'x' : ' ', Utf8(buf.data()).c_str());
        }
        return 0;
    }
    if (cmd == L"check-item") {
        if (a.size() < 4) return Usage();
        HWND list = Control(a[1], id(2));
        if (!list) return 1;
        RECT rc{};
        LRESULT ok = LB_ERR;
        if (!Send(list, LB_GETITEMRECT, id(3), reinterpret_cast<LPARAM>(&rc), &ok) || ok == LB_ERR) {
            std::fprintf(stderr, "uidriver: no item %d\n", id(3));
            return 1;
        }
        // The check box sits at the left end of the item, as high as the
        // item allows (13 pixels at most).
        int height = rc.bottom - rc.top;
        int box = height - 2 < 13 ? height - 2 : 13;
        LPARAM at = MAKELPARAM(rc.left + 1 + box / 2, (rc.top + rc.bottom) / 2);
        PostMessageW(list, WM_MOUSEMOVE, 0, at);
        PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
        PostMessageW(list, WM_LBUTTONUP, 0, at);
        Sleep(200);
        return 0;
    }
    if (cmd == L"click") {
        if (a.size() < 3) return Usage();
        HWND button = Control(a[1], id(2));
        if (!button) return 1;
        // Posted: a button that opens a modal box would block a SendMessage.
        PostMessageW(button, BM_CLICK, 0, 0);
        Sleep(200);
        return 0;
    }
    if (cmd == L"is-enabled") {
        if (a.size() < 3) return Usage();
        HWND c = Control(a[1], id(2));
        if (!c) return 1;
        std::printf("%d\n", IsWindowEnabled(c) ? 1 : 0);
        return 0;
    }
    if (cmd == L"is-checked") {
        if (a.size() < 3) return Usage();
        HWND c = Control(a[1], id(2));
        LRESULT state = 0;
        if (!c || !Send(c, BM_GETCHECK, 0, 0, &state)) return 1;
        std::printf("%d\n", state == BST_CHECKED ? 1 : 0);
        return 0;
    }
    if (cmd == L"pos") {
        if (a.size() < 3) return Usage();
        HWND c = Control(a[1], id(2));
        LRESULT position = 0;
        if (!c || !Send(c, PBM_GETPOS, 0, 0, &position)) return 1;
        std::printf("%ld\n", static_cast<long>(position));
        return 0;
    }
    if (cmd == L"key") {
        if (a.size() < 3) return Usage();
        HWND w = Window(a[1]);
        if (!w) return 1;
        PostKey(w, static_cast<UINT>(id(2)));
        Sleep(200);
        return 0;
    }
    if (cmd == L"close") {
        if (a.size() < 2) return Usage();
        HWND w = Window(a[1]);
        if (!w) return 1;
        PostMessageW(w, WM_SYSCOMMAND, SC_CLOSE, 0);
        Sleep(200);
        return 0;
    }
    if (cmd == L"wm-close") {
        if (a.size() < 2) return Usage();
        HWND w = Window(a[1]);
        if (!w) return 1;
        PostMessageW(w, WM_CLOSE, 0, 0);
        Sleep(200);
        return 0;
    }
    if (cmd == L"sysmenu-has-close") {
        if (a.size() < 2) return Usage();
        HWND w = Window(a[1]);
        if (!w) return 1;
        int has = SysMenuHasClose(w);
        if (has < 0) return 1;
        std::printf("%d\n", has);
        return 0;
    }
    if (cmd == L"answer-box") {
        if (a.size() < 2) return Usage();
        HWND box = nullptr;
        if (!WaitFor(num(2, 30), [&] { return (box = FindMessageBox()) != nullptr; })) {
            std::fprintf(stderr, "uidriver: no message box\n");
            return 1;
        }
        Sleep(100);  // let the box finish its initialisation
        HWND owner = GetWindow(box, GW_OWNER);
        std::printf("%s\t%s\t%s\n", OneLine(WindowText(box)).c_str(),
                    OneLine(WindowText(MessageBoxText(box))).c_str(),
                    OneLine(owner ? WindowText(owner) : std::wstring()).c_str());
        std::fflush(stdout);
        int button = id(1);
        HWND control = GetDlgItem(box, button);
        if (!control) {
            std::fprintf(stderr, "uidriver: the box has no button %d\n", button);
            return 1;
        }
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(control));
        return WaitFor(10, [&] { return !IsWindow(box); }) ? 0 : 1;
    }
    if (cmd == L"no-box") {
        bool seen = WaitFor(num(1, 2), [&] { return FindMessageBox() != nullptr; });
        if (seen) {
            HWND box = FindMessageBox();
            std::printf("%s\t%s\n", OneLine(WindowText(box)).c_str(),
                        OneLine(WindowText(MessageBoxText(box))).c_str());
        }
        return seen ? 1 : 0;
    }
    if (cmd == L"rect") {
        if (a.size() < 2) return Usage();
        HWND w = Window(a[1]);
        RECT rc;
        if (!w || !GetWindowRect(w, &rc)) return 1;
        std::printf("%ld %ld %ld %ld\n", rc.left, rc.top, rc.right, rc.bottom);
        return 0;
    }
    if (cmd == L"move") {
        if (a.size() < 4) return Usage();
        HWND w = Window(a[1]);
        if (!w) return 1;
        SetWindowPos(w, nullptr, id(2), id(3), 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        Sleep(200);
        return 0;
    }
    if (cmd == L"activate") {
        if (a.size() < 2) return Usage();
        HWND w = Window(a[1]);
        if (!w) return 1;
        SetForegroundWindow(w);
        Sleep(200);
        return 0;
    }
    if (cmd == L"watch-text") {
        if (a.size() < 3) return Usage();
        HWND window = Window(a[1]);
        if (!window) return 1;
        HWND c = GetDlgItem(window, id(2));
        if (!c) return 1;
        std::wstring last;
        bool first = true;
        // Polled, not hooked: a text shown for less than a poll may be missed.
        DWORD end = GetTickCount() + static_cast<DWORD>(num(3, 120) * 1000);
        while (IsWindow(c) && static_cast<LONG>(GetTickCount() - end) < 0) {
            std::wstring now = WindowText(c);
            if (IsWindow(c) && (first || now != last)) {
                std::printf("%s\n", OneLine(now).c_str());
                std::fflush(stdout);
                last = now;
                first = false;
            }
            Sleep(20);
        }
        return 0;
    }
    if (cmd == L"wait-endsession") return WaitEndSession(num(1, 30));
    return Usage();
}

std::wstring Wide(const std::string& text) {
    if (text.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

int Serve() {
    return e2e::Serve([](const std::vector<std::string>& line) {
        std::vector<std::wstring> args;
        for (const std::string& a : line) args.push_back(Wide(a));
        return args[0].empty() || args[0] == L"serve" ? Usage() : Run(args);
    });
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // Plain "\n" line ends for the shell that reads the output.
    _setmode(_fileno(stdout), _O_BINARY);
    std::vector<std::wstring> args(argv + 1, argv + argc);
    if (args.size() == 1 && args[0] == L"serve") return Serve();
    return Run(args);
}
