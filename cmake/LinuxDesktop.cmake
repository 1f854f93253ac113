# The Linux desktop program (hearthpad): the host with a notification-area
# icon and notifications over the session bus, the session's lock,
# brightness and keep-awake over D-Bus, and windows drawn by a separate
# toolkit program. D-Bus is spoken through sd-bus (libsystemd).
find_package(PkgConfig REQUIRED)
pkg_check_modules(HP_SYSTEMD REQUIRED IMPORTED_TARGET libsystemd)

# The session and system bus side: connection, tray item and menu,
# notifications, colour preference, the host's own name, session actions.
file(GLOB HP_DBUS_SOURCES CONFIGURE_DEPENDS src/platform/dbus/*.cpp)
add_library(hearthpad_dbus STATIC ${HP_DBUS_SOURCES})
target_compile_options(hearthpad_dbus PRIVATE ${HP_WARNINGS})
target_link_libraries(hearthpad_dbus PUBLIC hearthpad_base PkgConfig::HP_SYSTEMD)

# The tray's images as pixels (the item sends pixel data, not icon files).
set(HP_SNI_PIXMAPS ${HP_ICON_DIR}/sni_pixmaps.h)
add_custom_command(OUTPUT ${HP_SNI_PIXMAPS}
  COMMAND ${HP_PYTHON} ${CMAKE_SOURCE_DIR}/resources/icons/make_icons.py --sni-pixmaps ${HP_SNI_PIXMAPS}
  DEPENDS ${CMAKE_SOURCE_DIR}/resources/icons/make_icons.py
  COMMENT "Drawing the tray images for the Linux desktop")

# The desktop program's parts that tests link too.
add_library(hearthpad_linux_desktop STATIC src/app/linux_tray.cpp src/app/linux_platform_choice.cpp
            ${HP_SNI_PIXMAPS})
target_include_directories(hearthpad_linux_desktop PRIVATE ${HP_ICON_DIR})
target_compile_options(hearthpad_linux_desktop PRIVATE ${HP_WARNINGS})
target_link_libraries(hearthpad_linux_desktop PUBLIC hearthpad_core hearthpad_platform hearthpad_dbus hearthpad_x11
                      hearthpad_linux_windows hearthpad_linux_check)

add_executable(hearthpad src/app/linux_main.cpp)
# The windows program is started from beside the desktop program.
add_dependencies(hearthpad hearthpad-windows)
target_compile_options(hearthpad PRIVATE ${HP_WARNINGS})
target_link_libraries(hearthpad PRIVATE hearthpad_linux_desktop hearthpad_version)

if(HEARTHPAD_TESTS)
  find_package(GTest REQUIRED)
  include(GoogleTest)
  # The menu's translation and the session actions' arithmetic, without a bus.
  file(GLOB HP_LINUX_DESKTOP_TESTS CONFIGURE_DEPENDS tests/linux_desktop/unit/*.cpp)
  add_executable(test_linux_desktop ${HP_LINUX_DESKTOP_TESTS})
  target_compile_options(test_linux_desktop PRIVATE ${HP_WARNINGS})
  target_include_directories(test_linux_desktop PRIVATE tests)
  target_link_libraries(test_linux_desktop PRIVATE hearthpad_linux_desktop GTest::gtest GTest::gmock
                        GTest::gtest_main)
  target_compile_definitions(test_linux_desktop PRIVATE
                             HP_LINUX_DESKTOP_TEST_DIR="${CMAKE_SOURCE_DIR}/tests/linux_desktop")
  gtest_discover_tests(test_linux_desktop DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120 LABELS linux_desktop)
  # The program on a virtual display and a private session bus with
  # stand-in tray host, notification server, logind and screen saver.
  add_test(NAME linux_desktop
           COMMAND ${CMAKE_SOURCE_DIR}/tests/linux_desktop/desktop_test.sh $<TARGET_FILE:hearthpad>
                   $<TARGET_FILE:hearthpad-client>)
  set_tests_properties(linux_desktop PROPERTIES TIMEOUT 240 LABELS linux_desktop SKIP_RETURN_CODE 77)
endif()
