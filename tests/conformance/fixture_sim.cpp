// The conformance cases against the simulated machine: a fresh 64-bit
// Windows for every case, with the 32-bit program running under WOW64.
#include <memory>
#include <string>

#include "platform/sim/machine.h"
#include "tests/conformance/fixture.h"

namespace zep::conformance {
namespace {

std::unique_ptr<sim::Machine> g_machine;
std::unique_ptr<Platform> g_platform;
std::string g_scratch;

}  // namespace

bool IsSim() { return true; }

bool Program64() { return false; }

Platform& Os() { return *g_platform; }

std::string Scratch() { return g_scratch; }

void ConformanceTest::SetUp() {
    g_platform.reset();
    g_machine = std::make_unique<sim::Machine>();
    g_machine->SetWindows64(true);
    g_machine->SetVersion(sim::versions::kWin7);
    g_platform = std::make_unique<Platform>(g_machine->platform());
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    g_scratch = std::string("C:\\zepconf\\") + info->test_suite_name() + "_" + info->name();
    g_machine->AddDirectory(g_scratch);
}

void ConformanceTest::TearDown() {
    g_platform.reset();
    g_machine.reset();
}

}  // namespace zep::conformance
