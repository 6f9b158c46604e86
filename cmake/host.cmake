# The same sources on Linux against the Win32 stand-in, under the sanitizers,
# and the end-to-end tests that run the cross-built exe under Wine.

set(VANTLE_SANITIZERS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)

find_package(GTest REQUIRED)
find_package(Python3 REQUIRED COMPONENTS Interpreter)
enable_testing()

add_library(vantle_core OBJECT ${VANTLE_CORE_SOURCES} ${VANTLE_SELECTION_FORMAT_SOURCES})
target_include_directories(vantle_core PUBLIC src src/win)
target_compile_options(vantle_core PUBLIC ${VANTLE_WARNINGS} ${VANTLE_SANITIZERS})
target_link_options(vantle_core PUBLIC ${VANTLE_SANITIZERS})

add_executable(unit_tests
  tests/support/fake_win32.cpp
  tests/support/fake_serve.cpp
  tests/support/recording_receiver.cpp
  tests/support/sanitizer_options.cpp
  tests/unit/errors_test.cpp
  tests/unit/arguments_test.cpp
  tests/unit/stdio_test.cpp
  tests/unit/fatal_test.cpp
  tests/unit/dispatch_test.cpp
  tests/unit/writer_test.cpp
  tests/unit/reader_test.cpp
  tests/unit/drop_files_test.cpp
  tests/unit/session_test.cpp
  tests/unit/selection_formats_test.cpp
)
target_include_directories(unit_tests PRIVATE tests)
target_link_libraries(unit_tests PRIVATE vantle_core GTest::gtest GTest::gtest_main)

include(GoogleTest)
gtest_discover_tests(unit_tests DISCOVERY_TIMEOUT 60)

set(VANTLE_LINUX_BUILD_DIR "" CACHE PATH "Build folder of the linux preset")

# clang-tidy and cppcheck find nothing in src/ (the Linux room through the
# Linux build's compilation database).
add_test(NAME static_analysis COMMAND ${CMAKE_SOURCE_DIR}/tests/build/static_analysis.sh ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}
  ${VANTLE_LINUX_BUILD_DIR})
set_tests_properties(static_analysis PROPERTIES TIMEOUT 900)

# The Node.js package's declarations compile against a usage file.
add_test(NAME node_types COMMAND ${CMAKE_SOURCE_DIR}/node/node_modules/.bin/tsc --noEmit -p test/tsconfig.json
  WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/node)

# Two clean builds of the exe give the same bytes.
add_test(NAME reproducible_build COMMAND ${CMAKE_SOURCE_DIR}/tests/build/reproducible.sh)
set_tests_properties(reproducible_build PROPERTIES PROCESSORS 2 TIMEOUT 900)

# A configure run before the cross compiler is installed stops clearly, and
# the build scripts recover a folder that an earlier one filled with host tools.
add_test(NAME first_build COMMAND ${CMAKE_SOURCE_DIR}/tests/build/first_build.sh)

# Short runs of the fuzz targets, when the fuzz build is there.
set(VANTLE_FUZZ_BUILD_DIR "" CACHE PATH "Build folder of the fuzz preset")
set(VANTLE_FUZZ_SECONDS 5 CACHE STRING "How long each fuzz target runs in the test suite")
if(VANTLE_FUZZ_BUILD_DIR)
  foreach(target IN LISTS VANTLE_FUZZ_TARGETS)
    add_test(NAME fuzz.${target}
      COMMAND ${CMAKE_SOURCE_DIR}/tests/fuzz/run.sh ${VANTLE_FUZZ_BUILD_DIR}/fuzz_${target}
              ${CMAKE_SOURCE_DIR}/tests/fuzz/seeds/${target} ${CMAKE_BINARY_DIR}/fuzz/${target} ${VANTLE_FUZZ_SECONDS})
    set_tests_properties(fuzz.${target} PROPERTIES TIMEOUT 300)
  endforeach()
endif()

# End-to-end tests under Wine, when the Windows build is there to test.
set(VANTLE_WINDOWS_BUILD_DIR "" CACHE PATH "Build folder of the windows preset")
if(VANTLE_WINDOWS_BUILD_DIR)
  add_test(NAME exe_properties COMMAND ${CMAKE_SOURCE_DIR}/tests/build/exe_properties.sh ${VANTLE_WINDOWS_BUILD_DIR})
  include(cmake/wine_tests.cmake)
endif()
set_source_files_properties(${VANTLE_RAPIDJSON_SOURCE} PROPERTIES COMPILE_OPTIONS ${VANTLE_RAPIDJSON_SANITIZE_EXCEPTION})

# End-to-end tests of vantle-native, when the Linux build is there to test.
if(VANTLE_LINUX_BUILD_DIR)
  add_test(NAME linux_exe_properties COMMAND ${CMAKE_SOURCE_DIR}/tests/build/linux_exe_properties.sh ${VANTLE_LINUX_BUILD_DIR})
  include(cmake/linux_tests.cmake)
  include(cmake/wayland_tests.cmake)
endif()
