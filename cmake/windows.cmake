# vantle_native.exe and the test suite's Windows helpers.

set(VANTLE_WINDOWS_DEFINITIONS UNICODE _UNICODE _WIN32_WINNT=0x0601)
# Reproducible: no build paths in the binary, no link timestamp.
set(VANTLE_REPRODUCIBLE_COMPILE -ffile-prefix-map=${CMAKE_SOURCE_DIR}=. -ffile-prefix-map=${CMAKE_BINARY_DIR}=build)
set(VANTLE_REPRODUCIBLE_LINK -Wl,--no-insert-timestamp)

# The clipboard and shell libraries are delay-loaded: importing them costs a
# run start-up time even when it never touches the clipboard.
find_program(VANTLE_DLLTOOL NAMES x86_64-w64-mingw32-dlltool dlltool REQUIRED)
set(VANTLE_DELAY_LIBRARIES)
foreach(dll user32 shell32)
  set(library ${CMAKE_BINARY_DIR}/lib${dll}_delay.a)
  add_custom_command(OUTPUT ${library}
    COMMAND ${VANTLE_DLLTOOL} --input-def ${CMAKE_SOURCE_DIR}/cmake/delayload/${dll}.def --output-delaylib ${library}
    DEPENDS ${CMAKE_SOURCE_DIR}/cmake/delayload/${dll}.def
    COMMENT "Delay-load library for ${dll}")
  list(APPEND VANTLE_DELAY_LIBRARIES ${library})
endforeach()
add_custom_target(vantle_delay_libraries DEPENDS ${VANTLE_DELAY_LIBRARIES})

# The version is set once, in project(); packaging reads it from here.
file(WRITE ${CMAKE_BINARY_DIR}/version.txt "${PROJECT_VERSION}\n")
configure_file(src/resources/vantle_native.rc.in ${CMAKE_BINARY_DIR}/vantle_native.rc @ONLY)
enable_language(RC)
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I${CMAKE_SOURCE_DIR}/src/resources")

# Hardening: stack protection of functions with arrays or addresses taken, and
# the PE flags the linker can give: address-space layout randomisation with
# 64-bit entropy (and the relocations it needs), no execution of data pages,
# and no terminal-server compatibility shims.
set(VANTLE_HARDENING_COMPILE -fstack-protector-strong)
set(VANTLE_HARDENING_LINK -Wl,--dynamicbase -Wl,--high-entropy-va -Wl,--enable-reloc-section -Wl,--nxcompat
  -Wl,--tsaware)

# RapidJSON is header-only; its headers are Debian's, outside the cross
# compiler's root, so they are linked into a folder of their own rather than
# putting all of /usr/include on the cross build's path.
find_path(VANTLE_RAPIDJSON_INCLUDE rapidjson/document.h PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(VANTLE_THIRD_PARTY_INCLUDE ${CMAKE_BINARY_DIR}/third_party)
file(MAKE_DIRECTORY ${VANTLE_THIRD_PARTY_INCLUDE})
file(CREATE_LINK ${VANTLE_RAPIDJSON_INCLUDE}/rapidjson ${VANTLE_THIRD_PARTY_INCLUDE}/rapidjson SYMBOLIC)

add_executable(vantle_native
  ${VANTLE_CORE_SOURCES}
  ${VANTLE_WINDOWS_SESSION_SOURCES}
  src/diagnostics_receiver.cpp
  src/runtime/entry.cpp
  src/runtime/cxx_support.cpp
  src/runtime/stack_guard.cpp
  ${CMAKE_BINARY_DIR}/vantle_native.rc)
add_dependencies(vantle_native vantle_delay_libraries)
# Each neutral runtime file compiles as one unit with its Windows half, so
# that the calls between them inline as they did before the split (apart,
# they cost 1.5 KiB of the 128 KiB budget).
set_target_properties(vantle_native PROPERTIES UNITY_BUILD ON UNITY_BUILD_MODE GROUP)
foreach(pair IN ITEMS "errors;win/os_error" "runtime/fatal;win/runtime;runtime/memory;runtime/process"
                      "runtime/stdio;win/standard_streams")
  string(REPLACE ";" "_" group "${pair}")
  string(REPLACE "/" "_" group "${group}")
  foreach(file IN LISTS pair)
    set_source_files_properties(src/${file}.cpp TARGET_DIRECTORY vantle_native PROPERTIES UNITY_GROUP ${group})
  endforeach()
endforeach()
target_include_directories(vantle_native PRIVATE src src/win)
target_include_directories(vantle_native SYSTEM PRIVATE ${VANTLE_THIRD_PARTY_INCLUDE})
target_compile_definitions(vantle_native PRIVATE ${VANTLE_WINDOWS_DEFINITIONS})
target_compile_options(vantle_native PRIVATE
  $<$<COMPILE_LANGUAGE:CXX>:${VANTLE_WARNINGS} -ffunction-sections -fdata-sections ${VANTLE_REPRODUCIBLE_COMPILE}
  ${VANTLE_HARDENING_COMPILE}>)
# Static: the exe must start on a bare Windows with no DLL but the system's.
target_link_options(vantle_native PRIVATE -static -s -Wl,--gc-sections ${VANTLE_REPRODUCIBLE_LINK}
  ${VANTLE_HARDENING_COMPILE} ${VANTLE_HARDENING_LINK})
target_link_libraries(vantle_native PRIVATE ${VANTLE_DELAY_LIBRARIES} delayimp)

# Helper for the end-to-end tests: clipboard fixtures and exact process starts.
add_executable(clip_helper tests/e2e/clip_helper.cpp)
target_compile_options(clip_helper PRIVATE ${VANTLE_WARNINGS})
target_compile_definitions(clip_helper PRIVATE ${VANTLE_WINDOWS_DEFINITIONS})
target_link_options(clip_helper PRIVATE -static -municode)
target_link_libraries(clip_helper PRIVATE user32 shell32)

# Helper for the end-to-end tests: the stack guard and the hardening flags of
# vantle_native.exe on a program whose stack a test may overrun.
add_executable(stack_guard_probe tests/e2e/stack_guard_probe.cpp src/runtime/stack_guard.cpp)
target_include_directories(stack_guard_probe PRIVATE src)
target_compile_definitions(stack_guard_probe PRIVATE ${VANTLE_WINDOWS_DEFINITIONS})
target_compile_options(stack_guard_probe PRIVATE ${VANTLE_WARNINGS} ${VANTLE_HARDENING_COMPILE})
target_link_options(stack_guard_probe PRIVATE -static ${VANTLE_HARDENING_COMPILE} ${VANTLE_HARDENING_LINK})

# Benchmark programs (scripts/bench): an empty exe and a minimal C program
# that makes the same Win32 calls as vantle_native.exe.
foreach(program empty baseline)
  add_executable(bench_${program} bench/${program}.c)
  target_compile_definitions(bench_${program} PRIVATE ${VANTLE_WINDOWS_DEFINITIONS})
  target_compile_options(bench_${program} PRIVATE ${VANTLE_WARNINGS} -Os)
  target_link_options(bench_${program} PRIVATE -static -s)
endforeach()
target_link_libraries(bench_baseline PRIVATE user32 shell32)
