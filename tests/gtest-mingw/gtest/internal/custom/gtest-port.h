// GoogleTest port settings for the mingw-w64 builds.
//
// The win32 thread model of this mingw has no std::mutex or
// std::condition_variable, which GoogleTest's Notification uses; everything
// else it needs on Windows is built on Win32 calls. Notification only starts
// GoogleTest's own helper threads, so a flag is enough.
#ifndef ZEP_GTEST_MINGW_CUSTOM_PORT_H_
#define ZEP_GTEST_MINGW_CUSTOM_PORT_H_

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

class Notification {
public:
    Notification() : notified_(false) {}
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;

    void Notify() { __atomic_store_n(&notified_, true, __ATOMIC_RELEASE); }
    void WaitForNotification() {
        while (!__atomic_load_n(&notified_, __ATOMIC_ACQUIRE)) {
        }
    }

private:
    bool notified_;
};

}  // namespace internal
}  // namespace testing

#endif  // ZEP_GTEST_MINGW_CUSTOM_PORT_H_
