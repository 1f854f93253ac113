# hearthpad.exe: the tray host. A windowed program (no console), linked
# statically, with the application manifest and version block compiled in.
file(GLOB HP_WIN_APP_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/app/win32_*.cpp)
add_executable(hearthpad WIN32 ${HP_WIN_APP_SOURCES} ${CMAKE_SOURCE_DIR}/resources/hearthpad.rc)
target_compile_options(hearthpad PRIVATE ${HP_WARNINGS})
# The entry is wWinMain. No link time in the PE header: the same sources give
# the same program (the release package is reproducible).
target_link_options(hearthpad PRIVATE -municode -Wl,--no-insert-timestamp)
target_link_libraries(hearthpad PRIVATE hearthpad_core hearthpad_platform hearthpad_qr hearthpad_version user32 shell32)
