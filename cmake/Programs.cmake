# The programs: hearthpad.exe on Windows, hearthpad-console on Linux, and the
# small libraries they share.

# QR codes (the module matrix every drawing of a QR code starts from). Needs
# nothing of ours beyond src/common/result.h.
add_library(hearthpad_qr STATIC src/qr/qr_code.cpp)
target_include_directories(hearthpad_qr PUBLIC src)
target_compile_options(hearthpad_qr PRIVATE ${HP_WARNINGS})
target_link_libraries(hearthpad_qr PRIVATE hp::qrcodegen)

if(WIN32)
  include(cmake/WindowsApp.cmake OPTIONAL)
else()
  add_executable(hearthpad-console src/app/console_main.cpp src/app/qr_text.cpp)
  target_compile_options(hearthpad-console PRIVATE ${HP_WARNINGS})
  target_link_libraries(hearthpad-console PRIVATE hearthpad_platform hearthpad_qr)
endif()
