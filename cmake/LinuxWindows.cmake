# The Linux desktop's windows: hearthpad-windows, a GTK 3 program the host
# starts for each window it shows (pairing, connection check, gamepad
# mapping), so that the host itself carries no toolkit; and the host's side
# that starts and answers it (hearthpad_linux_windows, for the desktop
# program and the tests).
find_package(PkgConfig REQUIRED)
pkg_check_modules(HP_GTK3 REQUIRED IMPORTED_TARGET gtk+-3.0)

add_executable(hearthpad-windows src/app/gtk_windows_main.cpp src/app/gtk_pairing_window.cpp
               src/app/gtk_check_window.cpp src/app/gtk_mapping_window.cpp)
target_compile_options(hearthpad-windows PRIVATE ${HP_WARNINGS})
target_link_libraries(hearthpad-windows PRIVATE hearthpad_core hearthpad_qr PkgConfig::HP_GTK3)

add_library(hearthpad_linux_windows STATIC src/app/linux_windows.cpp)
target_compile_options(hearthpad_linux_windows PRIVATE ${HP_WARNINGS})
target_link_libraries(hearthpad_linux_windows PUBLIC hearthpad_core hearthpad_platform)

if(HEARTHPAD_TESTS)
  # The windows under Xvfb, driven through the host's side with a host
  # started in the test (skipped when Xvfb, import or zbarimg is missing).
  add_executable(test_linux_windows tests/linux_windows/linux_windows_test.cpp)
  target_compile_options(test_linux_windows PRIVATE ${HP_WARNINGS})
  target_link_libraries(test_linux_windows PRIVATE hearthpad_linux_windows hearthpad_test_support GTest::gtest_main)
  target_compile_definitions(test_linux_windows PRIVATE
                             HP_WINDOWS_PROGRAM="$<TARGET_FILE:hearthpad-windows>")
  add_dependencies(test_linux_windows hearthpad-windows)
  enable_testing()
  add_test(NAME linux_windows COMMAND test_linux_windows)
  set_tests_properties(linux_windows PROPERTIES TIMEOUT 120 LABELS "linux_desktop;windows")
endif()
