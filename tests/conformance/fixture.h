// The platform the conformance cases run against: a fresh simulated machine
// per case on the host, the real Win32 calls in the Windows build.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"

namespace zep::conformance {

// True in the host build (simulated machine).
bool IsSim();

// True when the program under test is a 64-bit process (the x86_64 Windows
// build). The simulated machine runs the 32-bit program under WOW64.
bool Program64();

// The platform for the current case (a fresh machine per case in the sim).
Platform& Os();

// A fresh, empty folder for the current case, e.g. "C:\\zepconf\\Case_12".
// Created by the fixture; removed after the case on Windows.
std::string Scratch();

class ConformanceTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};

}  // namespace zep::conformance

// A case that Wine cannot show; the reason is one line.
#define ZEP_SIM_ONLY(reason)                                   \
    do {                                                       \
        if (!::zep::conformance::IsSim()) GTEST_SKIP() << "sim-only: " reason; \
    } while (0)
