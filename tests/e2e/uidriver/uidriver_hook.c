/* Loaded by the system into the process of a window that uidriver asks
   about: answers the system-menu question from inside that process, where
   the window's menus live. */
#include <windows.h>

__declspec(dllexport) LRESULT CALLBACK ZepUiDriverGetMsgProc(int code, WPARAM wParam, LPARAM lParam) {
    static UINT query, reply;
    if (!query) {
        query = RegisterWindowMessageW(L"ZepUiDriverSysMenuQuery");
        reply = RegisterWindowMessageW(L"ZepUiDriverSysMenuReply");
    }
    MSG *msg = (MSG *)lParam;
    if (code == HC_ACTION && wParam == PM_REMOVE && msg->message == query) {
        HMENU menu = GetSystemMenu(msg->hwnd, FALSE);
        UINT state = menu ? GetMenuState(menu, SC_CLOSE, MF_BYCOMMAND) : (UINT)-1;
        PostThreadMessageW((DWORD)msg->wParam, reply, state != (UINT)-1 ? 1 : 0, (LPARAM)state);
        /* The program never sees the question. */
        msg->message = WM_NULL;
    }
    return CallNextHookEx(NULL, code, wParam, lParam);
}
