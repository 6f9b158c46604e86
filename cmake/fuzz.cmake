# libFuzzer targets (clang): the program's parsers and writers under ASan and
# UBSan, against the same Win32 stand-in as the unit tests.

set(VANTLE_FUZZ_SANITIZERS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)

add_library(vantle_fuzz_core OBJECT
  ${VANTLE_CORE_SOURCES}
  ${VANTLE_SELECTION_FORMAT_SOURCES}
  tests/support/fake_win32.cpp
  tests/support/fake_serve.cpp
  tests/support/recording_receiver.cpp)
target_include_directories(vantle_fuzz_core PUBLIC src src/win tests)
target_compile_options(vantle_fuzz_core PUBLIC ${VANTLE_WARNINGS} ${VANTLE_FUZZ_SANITIZERS} -fsanitize=fuzzer-no-link)

foreach(target IN LISTS VANTLE_FUZZ_TARGETS)
  add_executable(fuzz_${target} tests/fuzz/fuzz_${target}.cpp)
  target_link_libraries(fuzz_${target} PRIVATE vantle_fuzz_core)
  target_compile_options(fuzz_${target} PRIVATE -fsanitize=fuzzer)
  target_link_options(fuzz_${target} PRIVATE ${VANTLE_FUZZ_SANITIZERS} -fsanitize=fuzzer)
endforeach()
set_source_files_properties(${VANTLE_RAPIDJSON_SOURCE} tests/fuzz/fuzz_request.cpp PROPERTIES COMPILE_OPTIONS ${VANTLE_RAPIDJSON_SANITIZE_EXCEPTION})
