# hearthpad.exe: the tray host. A windowed program (no console), linked
# statically, with the application manifest and version block compiled in.
#
# hearthpad_desktop holds its windows (tray, menu, pairing window, gamepad
# mapping window, icons, first-run notices) so the Windows test program can
# drive them too.
file(GLOB HP_WIN_DESKTOP_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/app/win32_*.cpp)
list(REMOVE_ITEM HP_WIN_DESKTOP_SOURCES ${CMAKE_SOURCE_DIR}/src/app/win32_main.cpp)
add_library(hearthpad_desktop STATIC ${HP_WIN_DESKTOP_SOURCES})
target_compile_options(hearthpad_desktop PRIVATE ${HP_WARNINGS})
target_link_libraries(hearthpad_desktop PUBLIC hearthpad_core hearthpad_platform hearthpad_qr user32 shell32 gdi32
                      comctl32 wtsapi32)

add_executable(hearthpad WIN32 ${CMAKE_SOURCE_DIR}/src/app/win32_main.cpp ${CMAKE_SOURCE_DIR}/resources/hearthpad.rc)
add_dependencies(hearthpad hearthpad_icons)
target_compile_options(hearthpad PRIVATE ${HP_WARNINGS})
# The entry is wWinMain. No link time in the PE header: the same sources give
# the same program (the release package is reproducible).
target_link_options(hearthpad PRIVATE -municode -Wl,--no-insert-timestamp)
target_link_libraries(hearthpad PRIVATE hearthpad_desktop hearthpad_version)
# The load-configuration directory (src/platform/win32/dll_search.cpp), whose
# DependentLoadFlags keep the DLLs the program imports to the system
# directory: GNU ld leaves the header's entry for it empty, so it is set
# after linking.
find_package(Python3 COMPONENTS Interpreter REQUIRED)
add_custom_command(TARGET hearthpad POST_BUILD
                   COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/scripts/pe-load-config.py $<TARGET_FILE:hearthpad>
                   VERBATIM)

# The Ctrl+Alt+Del helper service.
include(cmake/SasService.cmake)
