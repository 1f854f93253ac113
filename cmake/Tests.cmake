# Native tests: every folder under tests/unit becomes one GoogleTest program
# (test_<folder>) so that suites build and fail independently.
# Windows: tests/win32 becomes hearthpad_win_tests.exe, run under Wine through
# the cross-compiling emulator (scripts/wine-run.sh).
if(WIN32)
  set(HP_GTEST_ROOT "${HEARTHPAD_WIN_DEPS}")
  add_library(hp::gtest INTERFACE IMPORTED)
  target_include_directories(hp::gtest SYSTEM INTERFACE "${HP_GTEST_ROOT}/include")
  target_link_libraries(hp::gtest INTERFACE "${HP_GTEST_ROOT}/lib/libgmock.a" "${HP_GTEST_ROOT}/lib/libgtest_main.a"
                        "${HP_GTEST_ROOT}/lib/libgtest.a")
  # A schtasks.exe that records its arguments and exits 1 (stub/schtasks.exe
  # in the build directory), for the Windows tests and the end-to-end test.
  add_executable(hearthpad_schtasks_stub tests/stubs/schtasks_stub.cpp)
  set_target_properties(hearthpad_schtasks_stub PROPERTIES OUTPUT_NAME schtasks
                        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/stub)
  target_compile_options(hearthpad_schtasks_stub PRIVATE ${HP_WARNINGS})
  target_link_options(hearthpad_schtasks_stub PRIVATE -municode)
  file(GLOB HP_WIN_TEST_SOURCES CONFIGURE_DEPENDS tests/win32/*.cpp)
  if(HP_WIN_TEST_SOURCES)
    # The portable fakes the desktop tests hand to the tray, and the test
    # client (it shares no code with the host) for pairing from the tests.
    add_executable(hearthpad_win_tests ${HP_WIN_TEST_SOURCES} src/platform/fake/fake_process_runner.cpp
                   src/platform/fake/fake_user_registry.cpp tests/support/test_client.cpp)
    add_dependencies(hearthpad_win_tests hearthpad_schtasks_stub)
    target_compile_options(hearthpad_win_tests PRIVATE ${HP_WARNINGS})
    target_include_directories(hearthpad_win_tests PRIVATE tests)
    target_link_libraries(hearthpad_win_tests PRIVATE hearthpad_desktop hp::gtest)
    target_compile_definitions(hearthpad_win_tests PRIVATE HP_TEST_DATA_DIR="${CMAKE_SOURCE_DIR}/tests/data"
                               HP_STUB_DIR="${CMAKE_BINARY_DIR}/stub")
    add_test(NAME win32_layer COMMAND hearthpad_win_tests)
    set_tests_properties(win32_layer PROPERTIES TIMEOUT 600)
  endif()
  # The resource script (application manifest, version block) must compile
  # with windres in every Windows build, also before a program links it.
  add_library(hearthpad_resource_check OBJECT resources/hearthpad.rc)
  add_dependencies(hearthpad_resource_check hearthpad_icons)
  target_link_libraries(hearthpad_resource_check PRIVATE hearthpad_version)
else()
  find_package(GTest REQUIRED)
  include(GoogleTest)
  file(GLOB HP_SUPPORT_SOURCES CONFIGURE_DEPENDS tests/support/*.cpp src/platform/fake/*.cpp)
  add_library(hearthpad_test_support STATIC ${HP_SUPPORT_SOURCES})
  target_include_directories(hearthpad_test_support PUBLIC src tests)
  target_compile_options(hearthpad_test_support PRIVATE ${HP_WARNINGS})
  target_link_libraries(hearthpad_test_support PUBLIC hearthpad_core hearthpad_platform hearthpad_qr GTest::gtest
                        GTest::gmock)
  target_compile_definitions(hearthpad_test_support PUBLIC HP_TEST_DATA_DIR="${CMAKE_SOURCE_DIR}/tests/data"
                             HP_BINARY_DIR="${CMAKE_BINARY_DIR}" HP_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  file(GLOB HP_TEST_DIRS LIST_DIRECTORIES true CONFIGURE_DEPENDS tests/unit/*)
  foreach(dir ${HP_TEST_DIRS})
    if(IS_DIRECTORY ${dir})
      get_filename_component(name ${dir} NAME)
      file(GLOB srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
      if(srcs)
        add_executable(test_${name} ${srcs})
        target_compile_options(test_${name} PRIVATE ${HP_WARNINGS})
        target_link_libraries(test_${name} PRIVATE hearthpad_test_support GTest::gtest_main)
        gtest_discover_tests(test_${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
      endif()
    endif()
  endforeach()
  # The layers depend one way only (read from the sources' includes).
  add_test(NAME layering COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-layers.sh)
  include(cmake/EndToEnd.cmake)
  include(cmake/Mdns.cmake)
endif()
