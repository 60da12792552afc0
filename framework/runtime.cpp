// The parts of the C++ run-time that the two programs link in place of the
// library's own (linked into ZEP_Installer and ZEP_Uninstaller only).
//
// The programs are built without exceptions (top-level CMakeLists.txt), which
// keeps them small: the statically linked library would otherwise bring its
// unwinder, its exception tables and, through the default terminate handler,
// its symbol demangler. Nothing in the programs throws; the only failures
// the library reports by exception are an allocation that fails and a
// length or position out of range, which no input of these programs can
// cause. Each of them ends the program with exit code 1, as an exception
// that reached the top of a thread did before.
#include <cstdlib>
#include <new>
#include <string>

namespace {

[[noreturn]] void EndOnRuntimeFailure() {
    // No destructors and no atexit handlers: the state is unknown, and the
    // trace log holds nothing in memory.
    std::_Exit(1);
}

}  // namespace

// ---------------------------------------------------------------- allocation

void* operator new(std::size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (!p) EndOnRuntimeFailure();
    return p;
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return std::malloc(size ? size : 1);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

// ---------------------------------------------------------------- library errors

// Every function of the library's functexcept.h group: defining them all
// keeps the library's own object, which constructs the exceptions, out of
// the link (a missing one would be a duplicate definition at link time).
// The names are the library's, so they are in its namespace.
namespace std {  // NOLINT(cert-dcl58-cpp)
void __throw_bad_exception() { EndOnRuntimeFailure(); }
void __throw_bad_alloc() { EndOnRuntimeFailure(); }
void __throw_bad_array_new_length() { EndOnRuntimeFailure(); }
void __throw_bad_cast() { EndOnRuntimeFailure(); }
void __throw_bad_typeid() { EndOnRuntimeFailure(); }
void __throw_logic_error(const char*) { EndOnRuntimeFailure(); }
void __throw_domain_error(const char*) { EndOnRuntimeFailure(); }
void __throw_invalid_argument(const char*) { EndOnRuntimeFailure(); }
void __throw_length_error(const char*) { EndOnRuntimeFailure(); }
void __throw_out_of_range(const char*) { EndOnRuntimeFailure(); }
void __throw_out_of_range_fmt(const char*, ...) { EndOnRuntimeFailure(); }
void __throw_runtime_error(const char*) { EndOnRuntimeFailure(); }
void __throw_range_error(const char*) { EndOnRuntimeFailure(); }
void __throw_overflow_error(const char*) { EndOnRuntimeFailure(); }
void __throw_underflow_error(const char*) { EndOnRuntimeFailure(); }
}  // namespace std

// A call through a pure virtual function (an object used while it is being
// built or destroyed); the library's version goes through std::terminate.
extern "C" void __cxa_pure_virtual() {  // NOLINT(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
    EndOnRuntimeFailure();
}

// Should anything reach std::terminate after all: without this the library
// links its verbose handler, and with it the demangler, to print to a
// console that a window program does not have.
namespace __gnu_cxx {
void __verbose_terminate_handler() {  // NOLINT(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
    std::abort();
}
}  // namespace __gnu_cxx

// ---------------------------------------------------------------- std::string

// The library declares std::string's members as instantiated in itself; its
// object holds every member, all compiled with exceptions. Instantiating
// them here gives the same code without exceptions, and the linker keeps
// only the members the programs call.
template class std::basic_string<char>;
// The Unicode command line is split as such before it becomes ANSI.
template class std::basic_string<wchar_t>;
