# The programs: hearthpad.exe on Windows, hearthpad-console and the desktop's
# hearthpad on Linux, and the small libraries they share.

# The release version (hp_version.h and hearthpad_version, made in
# CMakeLists.txt before the core) also gives the version of the application
# manifest generated beside the header.
set(HP_VERSION_QUAD "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")
configure_file(${CMAKE_SOURCE_DIR}/resources/hearthpad.manifest.in ${HP_GENERATED_DIR}/hearthpad.manifest @ONLY)
# The icons (the program's own and the four of the notification area) are
# drawn by resources/icons/make_icons.py into <build>/generated/icons.
find_program(HP_PYTHON NAMES python3 REQUIRED)
set(HP_ICON_DIR ${HP_GENERATED_DIR}/icons)
set(HP_ICONS ${HP_ICON_DIR}/hearthpad.ico ${HP_ICON_DIR}/tray_idle_dark.ico ${HP_ICON_DIR}/tray_controlled_dark.ico
    ${HP_ICON_DIR}/tray_idle_light.ico ${HP_ICON_DIR}/tray_controlled_light.ico)
# The program's icon as PNG files for Linux desktops (the .deb).
foreach(size 16 24 32 48 64 128 256)
  list(APPEND HP_ICONS ${HP_ICON_DIR}/hicolor/${size}x${size}/apps/hearthpad.png)
endforeach()
add_custom_command(OUTPUT ${HP_ICONS}
  COMMAND ${HP_PYTHON} ${CMAKE_SOURCE_DIR}/resources/icons/make_icons.py ${HP_ICON_DIR}
  DEPENDS ${CMAKE_SOURCE_DIR}/resources/icons/make_icons.py
  COMMENT "Drawing the icons")
add_custom_target(hearthpad_icons DEPENDS ${HP_ICONS})
# windres reports no dependencies: name the generated inputs of the resource script.
set_source_files_properties(${CMAKE_SOURCE_DIR}/resources/hearthpad.rc PROPERTIES
  OBJECT_DEPENDS "${HP_GENERATED_DIR}/hp_version.h;${HP_GENERATED_DIR}/hearthpad.manifest;${HP_ICONS}")

# QR codes (the module matrix every drawing of a QR code starts from). Needs
# nothing of ours beyond the base library.
add_library(hearthpad_qr STATIC src/qr/qr_code.cpp)
target_include_directories(hearthpad_qr PUBLIC src)
target_compile_options(hearthpad_qr PRIVATE ${HP_WARNINGS})
target_link_libraries(hearthpad_qr PUBLIC hearthpad_base PRIVATE hp::qrcodegen)

if(WIN32)
  include(cmake/WindowsApp.cmake)
else()
  # The connection check wired to this system (firewalld, ufw, pkexec), for
  # the console's check and the desktop program's window and --allow-firewall.
  add_library(hearthpad_linux_check STATIC src/app/linux_connection_check.cpp)
  target_compile_options(hearthpad_linux_check PRIVATE ${HP_WARNINGS})
  target_link_libraries(hearthpad_linux_check PUBLIC hearthpad_core hearthpad_platform)
  add_executable(hearthpad-console src/app/console_main.cpp src/app/qr_text.cpp)
  target_compile_options(hearthpad-console PRIVATE ${HP_WARNINGS})
  target_link_libraries(hearthpad-console PRIVATE hearthpad_linux_check hearthpad_core hearthpad_platform hearthpad_qr
                        hearthpad_version)
  # The X11 desktop platform, for the desktop program.
  include(cmake/X11.cmake)
  include(cmake/LinuxWindows.cmake)
  include(cmake/LinuxDesktop.cmake)
endif()

# The reference client (both systems).
include(cmake/Client.cmake)
