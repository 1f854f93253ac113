# The X11 desktop platform (Linux): XTEST input, text through spare keycodes,
# the CLIPBOARD selection. A library of its own so that only the desktop
# program and its tests carry libX11 and libXtst.
find_package(X11 REQUIRED)
if(NOT X11_XTest_FOUND)
  message(FATAL_ERROR "libXtst (libxtst-dev) is needed for the X11 platform")
endif()
add_library(hearthpad_x11 STATIC src/platform/x11/x11_platform.cpp src/platform/x11/x11_clipboard.cpp
            src/platform/x11/x11_translate.cpp)
target_include_directories(hearthpad_x11 PUBLIC src)
target_compile_options(hearthpad_x11 PRIVATE ${HP_WARNINGS})
target_link_libraries(hearthpad_x11 PUBLIC hearthpad_base PRIVATE hearthpad_platform X11::X11 X11::Xtst)
