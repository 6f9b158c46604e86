// Size: the C++ runtime's error paths that this program can never take, each
// replaced by a plain abort, so that the exe does not link the exception
// classes, their reference-counted strings and a symbol demangler (about a
// third of its size) for nothing.
//
// None of these is reachable: allocation never throws (it ends the process,
// see memory.cpp), no container grows past its maximum size, nothing indexes
// out of range, and the one exception the program throws, the fatal unwind,
// is always caught by the process frame. Were one reached anyway, the result
// is what an uncaught exception gives: an abnormal end.
#include <cstdlib>

// These are the C++ runtime's own names, reserved to it on purpose.
// NOLINTBEGIN(bugprone-reserved-identifier)

namespace __gnu_cxx {
// The default terminate handler prints the active exception's demangled type.
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

namespace std {
void __throw_bad_alloc() { std::abort(); }
void __throw_bad_array_new_length() { std::abort(); }
void __throw_length_error(const char*) { std::abort(); }
void __throw_logic_error(const char*) { std::abort(); }
void __throw_out_of_range_fmt(const char*, ...) { std::abort(); }
}  // namespace std
// NOLINTEND(bugprone-reserved-identifier)
