# Native tests around hearthpad.exe (included by cmake/Tests.cmake on Linux).
#
# test_win32_app: the program's window-free start-up rules (marker files,
# event codes, session changes, the running host's session), compiled
# natively from src/app.
#
# test_e2e: the real hearthpad.exe under Wine, driven through its display
# (xdotool, import, zbarimg) and reached by the test client.
# Built only when HEARTHPAD_WIN_EXE names an existing program, e.g.
#   -DHEARTHPAD_WIN_EXE=/path/to/build/windows/hearthpad.exe
# It keeps its Wine prefix, log and lock under <build>/e2e.

add_executable(test_win32_app tests/e2e/first_run_test.cpp tests/e2e/sessions_test.cpp src/app/win32_first_run.cpp
                              src/app/win32_sessions.cpp)
target_compile_options(test_win32_app PRIVATE ${HP_WARNINGS})
target_link_libraries(test_win32_app PRIVATE hearthpad_test_support GTest::gtest_main)
gtest_discover_tests(test_win32_app DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 60)

set(HEARTHPAD_WIN_EXE "" CACHE FILEPATH "hearthpad.exe to run end to end under Wine (test_e2e)")
# The Windows build's schtasks.exe stand-in (answering 1, "no such task"),
# beside that program by default, is copied next to it for the run.
get_filename_component(HP_WIN_BUILD_DIR "${HEARTHPAD_WIN_EXE}" DIRECTORY)
set(HEARTHPAD_WIN_STUB_SCHTASKS "${HP_WIN_BUILD_DIR}/stub/schtasks.exe" CACHE FILEPATH
    "schtasks.exe stand-in of the Windows build (test_e2e)")
if(HEARTHPAD_WIN_EXE AND EXISTS "${HEARTHPAD_WIN_EXE}")
  add_executable(test_e2e tests/e2e/hearthpad_exe_test.cpp tests/e2e/wine_host.cpp tests/e2e/desktop_driver.cpp)
  target_compile_options(test_e2e PRIVATE ${HP_WARNINGS})
  target_link_libraries(test_e2e PRIVATE hearthpad_test_support GTest::gtest_main)
  target_compile_definitions(test_e2e PRIVATE HP_WIN_EXE="${HEARTHPAD_WIN_EXE}"
                             HP_WIN_STUB_SCHTASKS="${HEARTHPAD_WIN_STUB_SCHTASKS}"
                             HP_E2E_DIR="${CMAKE_BINARY_DIR}/e2e")
  # One CTest entry: the cases share one Wine session and one running host.
  add_test(NAME e2e_hearthpad_exe COMMAND test_e2e)
  set_tests_properties(e2e_hearthpad_exe PROPERTIES TIMEOUT 600 RESOURCE_LOCK hearthpad_e2e_wine)
elseif(HEARTHPAD_WIN_EXE)
  message(WARNING "HEARTHPAD_WIN_EXE does not exist: ${HEARTHPAD_WIN_EXE}; test_e2e is not built")
endif()

include(cmake/Package.cmake)
include(cmake/Release.cmake)
