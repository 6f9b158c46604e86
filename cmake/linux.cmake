# vantle-native for Linux desktops: the shared sources with the Linux room
# and the X11 clipboard, linked against libxcb and libxcb-xfixes.

find_package(PkgConfig REQUIRED)
pkg_check_modules(VANTLE_XCB REQUIRED IMPORTED_TARGET xcb xcb-xfixes)

# Hardening the toolchain offers at no cost worth naming: stack protection,
# checked libc calls, a position-independent image and read-only relocations.
set(VANTLE_LINUX_HARDENING_COMPILE -fstack-protector-strong -D_FORTIFY_SOURCE=2 -fPIE)
set(VANTLE_LINUX_HARDENING_LINK -pie -Wl,-z,relro -Wl,-z,now)

add_executable(vantle-native
  ${VANTLE_SHARED_SOURCES}
  ${VANTLE_LINUX_SOURCES}
  src/diagnostics_receiver.cpp
  src/runtime/entry.cpp)
target_include_directories(vantle-native PRIVATE src src/linux)
target_compile_options(vantle-native PRIVATE ${VANTLE_WARNINGS} -ffunction-sections -fdata-sections
  ${VANTLE_LINUX_HARDENING_COMPILE})
target_link_options(vantle-native PRIVATE -s -Wl,--gc-sections -Wl,--as-needed ${VANTLE_LINUX_HARDENING_LINK})
target_link_libraries(vantle-native PRIVATE PkgConfig::VANTLE_XCB)
