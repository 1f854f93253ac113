# The programs: hearthpad.exe on Windows, hearthpad-console on Linux.
if(WIN32)
  include(cmake/WindowsApp.cmake)
else()
  add_executable(hearthpad-console src/app/console_main.cpp src/app/qr_text.cpp)
  target_compile_options(hearthpad-console PRIVATE ${HP_WARNINGS})
  target_link_libraries(hearthpad-console PRIVATE hearthpad_core hearthpad_platform hp::qrencode)
endif()
