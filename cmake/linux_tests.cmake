# End-to-end tests of vantle-native on an Xvfb display of their own, against
# real peers (xclip, a raw X client, and Wine's clipboard bridge on the Wine
# session's display).

set(VANTLE_X11_STATE ${CMAKE_BINARY_DIR}/x11)
set(VANTLE_X11_TEST_DIR ${CMAKE_SOURCE_DIR}/tests/e2e_linux)

add_test(NAME x11_display_start COMMAND ${Python3_EXECUTABLE} ${VANTLE_X11_TEST_DIR}/x_display.py start ${VANTLE_X11_STATE})
add_test(NAME x11_display_stop COMMAND ${Python3_EXECUTABLE} ${VANTLE_X11_TEST_DIR}/x_display.py stop ${VANTLE_X11_STATE})
set_tests_properties(x11_display_start PROPERTIES FIXTURES_SETUP x11 TIMEOUT 60)
set_tests_properties(x11_display_stop PROPERTIES FIXTURES_CLEANUP x11)

set(VANTLE_X11_ENVIRONMENT "VANTLE_X11_STATE=${VANTLE_X11_STATE};VANTLE_LINUX_BUILD=${VANTLE_LINUX_BUILD_DIR};VANTLE_WINDOWS_BUILD=${VANTLE_WINDOWS_BUILD_DIR};PYTHONDONTWRITEBYTECODE=1")
# The Node.js package's tarball carries the Windows exe too.
set(VANTLE_X11_MODULES test_x11 test_x11_session)
if(VANTLE_WINDOWS_BUILD_DIR)
  list(APPEND VANTLE_X11_MODULES test_node_package)
endif()
foreach(module IN LISTS VANTLE_X11_MODULES)
  add_test(NAME x11.${module} COMMAND ${Python3_EXECUTABLE} -m unittest -v ${module} WORKING_DIRECTORY ${VANTLE_X11_TEST_DIR})
  set_tests_properties(x11.${module} PROPERTIES
    FIXTURES_REQUIRED x11
    # One clipboard on the display: these tests take turns.
    RESOURCE_LOCK x11_clipboard
    TIMEOUT 300
    ENVIRONMENT "${VANTLE_X11_ENVIRONMENT}")
endforeach()

if(VANTLE_WINDOWS_BUILD_DIR)
  add_test(NAME wine.test_wine_bridge COMMAND ${Python3_EXECUTABLE} -m unittest -v test_wine_bridge
    WORKING_DIRECTORY ${VANTLE_X11_TEST_DIR})
  set_tests_properties(wine.test_wine_bridge PROPERTIES
    FIXTURES_REQUIRED wine
    RESOURCE_LOCK clipboard
    TIMEOUT 300
    ENVIRONMENT "${VANTLE_X11_ENVIRONMENT};VANTLE_WINE_STATE=${CMAKE_BINARY_DIR}/wine")
endif()
