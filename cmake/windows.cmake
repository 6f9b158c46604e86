# vantle_native.exe and the test suite's Windows helpers.

add_executable(vantle_native ${VANTLE_CORE_SOURCES} src/diagnostics_receiver.cpp src/runtime/entry.cpp)
target_include_directories(vantle_native PRIVATE src)
target_compile_options(vantle_native PRIVATE ${VANTLE_WARNINGS})
target_compile_definitions(vantle_native PRIVATE UNICODE _UNICODE _WIN32_WINNT=0x0601)
# Static: the exe must start on a bare Windows with no DLL but the system's.
target_link_options(vantle_native PRIVATE -static -s)
target_link_libraries(vantle_native PRIVATE user32 shell32)

# Helper for the end-to-end tests: clipboard fixtures and exact process starts.
add_executable(clip_helper tests/e2e/clip_helper.cpp)
target_compile_options(clip_helper PRIVATE ${VANTLE_WARNINGS})
target_compile_definitions(clip_helper PRIVATE UNICODE _UNICODE _WIN32_WINNT=0x0601)
target_link_options(clip_helper PRIVATE -static -municode)
target_link_libraries(clip_helper PRIVATE user32 shell32)
