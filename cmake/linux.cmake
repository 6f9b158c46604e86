# vantle-native for Linux desktops: the shared sources with the Linux room,
# the X11 clipboard (linked against libxcb and libxcb-xfixes) and the
# Wayland one: libwayland-client is loaded at run time
# (src/wayland/library.cpp), its headers are used at build time, and the
# protocols' glue is generated here by wayland-scanner: the data-control
# protocols from the XML kept in src/wayland/protocols/, the core interfaces
# from the system's wayland.xml.

find_package(PkgConfig REQUIRED)
pkg_check_modules(VANTLE_XCB REQUIRED IMPORTED_TARGET xcb xcb-xfixes)
pkg_check_modules(VANTLE_WAYLAND REQUIRED wayland-client wayland-scanner)
pkg_get_variable(VANTLE_WAYLAND_DATA_DIR wayland-scanner pkgdatadir)
include(cmake/wayland_protocols.cmake)

# The protocols the program speaks, and the core interfaces.
set(VANTLE_WAYLAND_GENERATED_DIR ${CMAKE_BINARY_DIR}/wayland)
vantle_wayland_protocol_glue(VANTLE_WAYLAND_GENERATED_SOURCES ${VANTLE_WAYLAND_GENERATED_DIR}
  ${CMAKE_SOURCE_DIR}/src/wayland/protocols/ext-data-control-v1.xml
  ${CMAKE_SOURCE_DIR}/src/wayland/protocols/wlr-data-control-unstable-v1.xml
  ${VANTLE_WAYLAND_DATA_DIR}/wayland.xml)

# Hardening the toolchain offers at no cost worth naming: stack protection,
# checked libc calls, a position-independent image and read-only relocations.
set(VANTLE_LINUX_HARDENING_COMPILE -fstack-protector-strong -D_FORTIFY_SOURCE=2 -fPIE)
set(VANTLE_LINUX_HARDENING_LINK -pie -Wl,-z,relro -Wl,-z,now)

add_executable(vantle-native
  ${VANTLE_SHARED_SOURCES}
  ${VANTLE_LINUX_SOURCES}
  ${VANTLE_WAYLAND_GENERATED_SOURCES}
  src/diagnostics_receiver.cpp
  src/runtime/entry.cpp)
target_include_directories(vantle-native PRIVATE src src/linux ${VANTLE_WAYLAND_GENERATED_DIR})
target_include_directories(vantle-native SYSTEM PRIVATE ${VANTLE_WAYLAND_INCLUDE_DIRS})
target_compile_options(vantle-native PRIVATE ${VANTLE_WARNINGS} -ffunction-sections -fdata-sections
  ${VANTLE_LINUX_HARDENING_COMPILE})
target_link_options(vantle-native PRIVATE -s -Wl,--gc-sections -Wl,--as-needed ${VANTLE_LINUX_HARDENING_LINK})
target_link_libraries(vantle-native PRIVATE PkgConfig::VANTLE_XCB ${CMAKE_DL_LIBS})
