// The trace log: one plain-text file per program in the folder Temp at the
// root of the system drive, a time-stamped line per call, on disk at once.
#pragma once

#include <cstdarg>
#include <string>

#include "common/format.h"
#include "platform/platform.h"

namespace zep {

// The folder and the file are never links: a standard user can make the
// folder, and the programs run as administrator. A link found in place of
// either is removed (the link itself, never what it points to) and a real
// folder or file takes its place; the folder stays open, without delete
// sharing, so it cannot be swapped for a link while the program runs.
class TraceLog {
public:
    // fileName is appended to the folder, e.g. "\\ZEP_Installer.txt".
    TraceLog(Kernel& kernel, std::string fileName);
    ~TraceLog();
    TraceLog(const TraceLog&) = delete;
    TraceLog& operator=(const TraceLog&) = delete;

    // Builds the path, makes the folder and deletes the previous run's file.
    // Returns the result of that deletion (callers ignore it). Without a
    // real folder the program runs without a log.
    bool OpenLog();

    // Appends one line; dropped silently before OpenLog or when the file
    // cannot be opened. Never pass data as the format.
    void WriteLog(const char* format, ...) ZEP_PRINTF(2, 3);
    void WriteLogV(const char* format, va_list args);

    const std::string& path() const { return path_; }

    // The message part of a line is cut to this many characters.
    static constexpr size_t kMaxMessage = 1013;

private:
    // Opens `folder` itself (not what a link there points to); true, with
    // the handle held, when it is a real folder.
    bool HoldFolder(const std::string& folder);
    // Opens the log file itself; a link or a second name of another file is
    // removed and the file made again, once.
    Result<HFile> OpenFile();
    bool IsLink(HFile file, bool folder);

    Kernel& kernel_;
    std::string fileName_;
    std::string path_;
    HFile folder_ = HFile::Invalid;
};

}  // namespace zep
