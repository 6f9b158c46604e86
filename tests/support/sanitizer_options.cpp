// The unit tests run out of memory on purpose (see fatal_test.cpp): the
// sanitizer's allocator must then give null, as the platform's does, rather
// than stop the test itself.
extern "C" const char* __asan_default_options() {  // NOLINT(bugprone-reserved-identifier)
    return "allocator_may_return_null=1";
}
