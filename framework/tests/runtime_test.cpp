// The run-time pieces the programs link in place of the library's
// (framework/runtime.cpp) and the formatter of the log and the message boxes
// as the Windows builds compile it (msvcrt's).
#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "common/format.h"

namespace {

using zep::Format;

// Formats into a buffer of `size` bytes inside a larger one filled with
// '#', so that a write past the end shows.
std::string FormatIn(size_t size, const char* text, size_t* length) {
    char buf[64];
    std::memset(buf, '#', sizeof buf);
    *length = Format(buf, size, "%s", text);
    EXPECT_EQ(buf[size], '#') << "wrote past " << size << " bytes";
    return std::string(buf, std::strlen(buf) < size ? std::strlen(buf) : size);
}

TEST(Format, TextThatFitsIsWhole) {
    size_t length = 0;
    EXPECT_EQ(FormatIn(8, "abc", &length), "abc");
    EXPECT_EQ(length, 3u);
    EXPECT_EQ(FormatIn(8, "abcdefg", &length), "abcdefg");  // size - 1: still whole
    EXPECT_EQ(length, 7u);
    EXPECT_EQ(FormatIn(8, "", &length), "");
    EXPECT_EQ(length, 0u);
}

TEST(Format, LongerTextIsCutAndEndsWithNul) {
    size_t length = 0;
    // Exactly the buffer's size: msvcrt fills it and leaves no NUL.
    EXPECT_EQ(FormatIn(8, "abcdefgh", &length), "abcdefg");
    EXPECT_EQ(length, 7u);
    EXPECT_EQ(FormatIn(8, "abcdefghijklmnopqrstuvwxyz", &length), "abcdefg");
    EXPECT_EQ(length, 7u);
    EXPECT_EQ(FormatIn(1, "abc", &length), "");
    EXPECT_EQ(length, 0u);
}

TEST(Format, ConversionsTheProgramsUse) {
    char buf[64];
    EXPECT_EQ(Format(buf, sizeof buf, "%02u:%02u:%02u: ", 7u, 5u, 13u), 10u);
    EXPECT_STREQ(buf, "07:05:13: ");
    Format(buf, sizeof buf, "AddMonitor, ERR CODE: %d\n\n", 1801);
    EXPECT_STREQ(buf, "AddMonitor, ERR CODE: 1801\n\n");
    Format(buf, sizeof buf, "(%d) [%s] [%s]", -5, "C:\\Temp", "");
    EXPECT_STREQ(buf, "(-5) [C:\\Temp] []");
}

TEST(Format, TheLogsMessageLimit) {
    // The trace log gives a message 1014 bytes: 1013 characters and the NUL.
    std::vector<char> buf(2048, '#');
    std::string fits(1013, 'x');
    EXPECT_EQ(Format(buf.data(), 1014, "%s", fits.c_str()), 1013u);
    std::string over(1014, 'y');
    EXPECT_EQ(Format(buf.data(), 1014, "%s", over.c_str()), 1013u);
    EXPECT_EQ(buf[1013], '\0');
    EXPECT_EQ(buf[1014], '#');
}

// The failures the library would report by exception end the program with
// exit code 1.

// Allocations are kept here, so that the compiler cannot leave them out.
void* volatile g_kept;

TEST(RuntimeDeathTest, FailedAllocationEndsTheProgramWithCodeOne) {
    volatile size_t huge = size_t(-1) / 2;
    EXPECT_EXIT({ g_kept = ::operator new(huge); }, ::testing::ExitedWithCode(1), "");
    EXPECT_EXIT({ g_kept = new char[huge]; }, ::testing::ExitedWithCode(1), "");
}

TEST(RuntimeDeathTest, LengthAndRangeErrorsEndTheProgramWithCodeOne) {
    EXPECT_EXIT(
        {
            std::string s;
            s.reserve(s.max_size() + 1);
        },
        ::testing::ExitedWithCode(1), "");
    EXPECT_EXIT(
        {
            std::string s("abc");
            (void)s.substr(4);
        },
        ::testing::ExitedWithCode(1), "");
    EXPECT_EXIT(
        {
            std::vector<int> v(2);
            (void)v.at(2);
        },
        ::testing::ExitedWithCode(1), "");
}

TEST(Runtime, NothrowAllocationReportsFailureWithNull) {
    volatile size_t huge = size_t(-1) / 2;
    void* p = ::operator new(huge, std::nothrow);
    EXPECT_EQ(p, nullptr);
    void* q = ::operator new(16, std::nothrow);
    EXPECT_NE(q, nullptr);
    ::operator delete(q);
}

}  // namespace
