# End-to-end tests of vantle-native on headless Wayland compositors of their
# own (compositor.py): sway and KWin, which offer data-control, and mutter,
# which offers none and bridges its XWayland's clipboard. wl-copy and wl-paste
# stand for the desktop's other programs; wl_peer, a raw data-control client
# built here from the protocol the program speaks, for the owners wl-copy
# cannot be (several types at once, owners that never answer).

find_package(PkgConfig REQUIRED)
pkg_check_modules(WAYLAND_CLIENT REQUIRED IMPORTED_TARGET wayland-client)
include(cmake/wayland_protocols.cmake)

set(VANTLE_PEER_GLUE ${CMAKE_BINARY_DIR}/wayland_protocols)
vantle_wayland_protocol_glue(VANTLE_PEER_GLUE_SOURCES ${VANTLE_PEER_GLUE}
  ${CMAKE_SOURCE_DIR}/src/wayland/protocols/wlr-data-control-unstable-v1.xml)
add_executable(wl_peer tests/e2e_wayland/wl_peer.c ${VANTLE_PEER_GLUE_SOURCES})
target_include_directories(wl_peer PRIVATE ${VANTLE_PEER_GLUE})
target_compile_options(wl_peer PRIVATE -Wall -Wextra -Werror)
target_link_libraries(wl_peer PRIVATE PkgConfig::WAYLAND_CLIENT)

set(VANTLE_WAYLAND_STATE ${CMAKE_BINARY_DIR}/wayland)
set(VANTLE_WAYLAND_TEST_DIR ${CMAKE_SOURCE_DIR}/tests/e2e_wayland)
foreach(compositor sway kwin mutter)
  add_test(NAME wayland_${compositor}_start
    COMMAND ${Python3_EXECUTABLE} ${VANTLE_WAYLAND_TEST_DIR}/compositor.py start ${compositor} ${VANTLE_WAYLAND_STATE})
  add_test(NAME wayland_${compositor}_stop
    COMMAND ${Python3_EXECUTABLE} ${VANTLE_WAYLAND_TEST_DIR}/compositor.py stop ${compositor} ${VANTLE_WAYLAND_STATE})
  set_tests_properties(wayland_${compositor}_start PROPERTIES FIXTURES_SETUP wayland_${compositor} TIMEOUT 120)
  set_tests_properties(wayland_${compositor}_stop PROPERTIES FIXTURES_CLEANUP wayland_${compositor})
endforeach()

# Each module, with the compositors it runs on; one clipboard each, so the
# modules that share a compositor take turns.
set(VANTLE_WAYLAND_MODULES "test_data_control:sway,kwin" "test_session:sway,kwin" "test_mutter:mutter")
# The Node.js package's tarball carries the Windows exe too.
if(VANTLE_WINDOWS_BUILD_DIR)
  list(APPEND VANTLE_WAYLAND_MODULES "test_node_on_sway:sway")
endif()
foreach(entry IN LISTS VANTLE_WAYLAND_MODULES)
  string(REPLACE ":" ";" entry ${entry})
  list(GET entry 0 module)
  list(GET entry 1 compositors)
  string(REPLACE "," ";" compositors ${compositors})
  list(TRANSFORM compositors PREPEND wayland_ OUTPUT_VARIABLE fixtures)
  list(TRANSFORM fixtures APPEND _clipboard OUTPUT_VARIABLE clipboards)
  add_test(NAME wayland.${module} COMMAND ${Python3_EXECUTABLE} -m unittest -v ${module}
    WORKING_DIRECTORY ${VANTLE_WAYLAND_TEST_DIR})
  set_tests_properties(wayland.${module} PROPERTIES
    FIXTURES_REQUIRED "${fixtures}"
    RESOURCE_LOCK "${clipboards}"
    TIMEOUT 300
    ENVIRONMENT "VANTLE_WAYLAND_STATE=${VANTLE_WAYLAND_STATE};VANTLE_WAYLAND_PEER=$<TARGET_FILE:wl_peer>;VANTLE_LINUX_BUILD=${VANTLE_LINUX_BUILD_DIR};VANTLE_WINDOWS_BUILD=${VANTLE_WINDOWS_BUILD_DIR};PYTHONDONTWRITEBYTECODE=1")
endforeach()
