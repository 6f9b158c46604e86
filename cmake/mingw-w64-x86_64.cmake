# Cross-build for 64-bit Windows with Debian's MinGW-w64 (Win32 thread model: no threading library is linked).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(triple x86_64-w64-mingw32)
# The cross tools' names up to their last part, optionally with a folder in
# front (a test points it at a folder that holds none).
set(VANTLE_CROSS_PREFIX ${triple}- CACHE STRING "Cross tools: <prefix>gcc-win32, <prefix>g++-win32, <prefix>windres")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VANTLE_CROSS_PREFIX)

# Without the cross compiler CMake would go on with the host's tools and cache
# them (its ar, no -Os), and the build folder would keep them after the
# install and fail to link. So stop before CMake looks for any tool.
set(languages C CXX RC)
set(names gcc-win32 g++-win32 windres)
foreach(language name IN ZIP_LISTS languages names)
  find_program(found ${VANTLE_CROSS_PREFIX}${name} NO_CACHE)
  if(NOT found)
    message(FATAL_ERROR "${VANTLE_CROSS_PREFIX}${name} not found: the MinGW-w64 cross compiler is not "
      "installed. Install it with scripts/install-deps (as root), then configure again; scripts/build does both.")
  endif()
  set(CMAKE_${language}_COMPILER ${found})
  unset(found)
endforeach()

set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
