# The X11 platform's tests (label x11, run alone with `ctest -L x11`): the
# translation of keys, wheels and text without a display, and the platform
# against an Xvfb of the test's own (skipped when Xvfb is missing).
add_library(hearthpad_x_session STATIC tests/x11/x_session.cpp)
target_include_directories(hearthpad_x_session PUBLIC tests)
target_compile_options(hearthpad_x_session PRIVATE ${HP_WARNINGS})
target_link_libraries(hearthpad_x_session PUBLIC hearthpad_x11 X11::X11)

add_executable(test_x11_translate tests/x11/x11_translate_test.cpp)
add_executable(test_x11_platform tests/x11/x11_platform_test.cpp)
foreach(t test_x11_translate test_x11_platform)
  target_compile_options(${t} PRIVATE ${HP_WARNINGS})
  target_link_libraries(${t} PRIVATE hearthpad_x11 hearthpad_test_support GTest::gtest_main)
endforeach()
target_link_libraries(test_x11_platform PRIVATE hearthpad_x_session)
gtest_discover_tests(test_x11_translate DISCOVERY_TIMEOUT 60 PROPERTIES LABELS x11)
gtest_discover_tests(test_x11_platform DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "x11;xvfb" TIMEOUT 120)
