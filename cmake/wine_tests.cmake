# End-to-end tests: the cross-built exe under Wine, on an Xvfb display, with a
# private prefix, a persistent wineserver and a lasting desktop for the whole
# run.

set(VANTLE_WINE_STATE ${CMAKE_BINARY_DIR}/wine)
set(VANTLE_E2E_DIR ${CMAKE_SOURCE_DIR}/tests/e2e)

add_test(NAME wine_session_start
  COMMAND ${Python3_EXECUTABLE} ${VANTLE_E2E_DIR}/wine_session.py start ${VANTLE_WINE_STATE}
    ${VANTLE_WINDOWS_BUILD_DIR}/clip_helper.exe)
add_test(NAME wine_session_stop
  COMMAND ${Python3_EXECUTABLE} ${VANTLE_E2E_DIR}/wine_session.py stop ${VANTLE_WINE_STATE})
set_tests_properties(wine_session_start PROPERTIES FIXTURES_SETUP wine TIMEOUT 600)
set_tests_properties(wine_session_stop PROPERTIES FIXTURES_CLEANUP wine)

file(GLOB VANTLE_E2E_MODULES CONFIGURE_DEPENDS ${VANTLE_E2E_DIR}/test_*.py)
foreach(module_path IN LISTS VANTLE_E2E_MODULES)
  get_filename_component(module ${module_path} NAME_WE)
  add_test(NAME wine.${module}
    COMMAND ${Python3_EXECUTABLE} -m unittest -v ${module}
    WORKING_DIRECTORY ${VANTLE_E2E_DIR})
  set_tests_properties(wine.${module} PROPERTIES
    FIXTURES_REQUIRED wine
    # One clipboard for the whole desktop: these tests take turns.
    RESOURCE_LOCK clipboard
    TIMEOUT 1200
    ENVIRONMENT "VANTLE_WINE_STATE=${VANTLE_WINE_STATE};VANTLE_WINDOWS_BUILD=${VANTLE_WINDOWS_BUILD_DIR};VANTLE_LINUX_BUILD=${VANTLE_LINUX_BUILD_DIR};PYTHONDONTWRITEBYTECODE=1")
endforeach()
