// The "serve" mode of the end-to-end tools. Under CPU emulation (32-bit Wine
// on this machine) a process start takes seconds, and Wine's whole session
// about two minutes in a 32-bit prefix, so one process answers every command
// of a test case instead of one process per command.
//
// Commands come from stdin, one a line (UTF-8, arguments separated by TAB);
// each command's output is followed by the line "serve-done RC". A line
// "quit" or the end of a pipe ends the loop. A file as stdin is watched for
// lines appended to it: the shell then keeps no pipe open that the programs
// under test could inherit.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace e2e {

// One line of stdin without its line end; false at the end of a pipe.
// (ReadFile, not the C library, which keeps reporting the end once seen.)
inline bool ReadCommand(std::string& line) {
    static std::string pending;
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    const bool file = GetFileType(in) == FILE_TYPE_DISK;
    for (;;) {
        size_t end = pending.find('\n');
        if (end != std::string::npos) {
            line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return true;
        }
        char chunk[1024];
        DWORD got = 0;
        if (!ReadFile(in, chunk, sizeof chunk, &got, nullptr) || (got == 0 && !file)) {
            line = pending;
            pending.clear();
            return !line.empty();
        }
        if (got == 0) Sleep(50);
        pending.append(chunk, got);
    }
}

// Runs RUN(arguments) for every command line; RUN returns the exit code the
// command would have had as a process of its own.
template <typename Run>
int Serve(Run run) {
    std::string line;
    while (ReadCommand(line) && line != "quit") {
        std::vector<std::string> args;
        for (size_t start = 0;;) {
            size_t tab = line.find('\t', start);
            args.push_back(line.substr(start, tab == std::string::npos ? tab : tab - start));
            if (tab == std::string::npos) break;
            start = tab + 1;
        }
        int rc = run(args);
        std::fflush(stderr);
        std::printf("serve-done %d\n", rc);
        std::fflush(stdout);
    }
    return 0;
}

}  // namespace e2e
