# The release package checked as a user gets it (included by
# cmake/EndToEnd.cmake on Linux).
#
# test_package: unpacks the zip that scripts/package.sh wrote, checks its
# files, checksums, imports (Windows system DLLs only), stripping and version
# resource, and runs the packaged hearthpad.exe under Wine until it answers an
# information request. Built only when HEARTHPAD_PACKAGE names an existing zip:
#   -DHEARTHPAD_PACKAGE=/path/to/dist/hearthpad-<version>-win64.zip
# It shares the Wine prefix of test_e2e under <build>/e2e.
set(HEARTHPAD_PACKAGE "" CACHE FILEPATH "release zip to check end to end (test_package)")
if(HEARTHPAD_PACKAGE AND EXISTS "${HEARTHPAD_PACKAGE}")
  add_executable(test_package tests/e2e/package_test.cpp tests/e2e/wine_host.cpp)
  target_compile_options(test_package PRIVATE ${HP_WARNINGS})
  target_link_libraries(test_package PRIVATE hearthpad_test_support GTest::gtest_main)
  target_compile_definitions(test_package PRIVATE HP_PACKAGE_ZIP="${HEARTHPAD_PACKAGE}"
                             HP_E2E_DIR="${CMAKE_BINARY_DIR}/e2e")
  # One CTest entry: the cases share one unpacked copy.
  add_test(NAME release_package COMMAND test_package)
  set_tests_properties(release_package PROPERTIES TIMEOUT 600 RESOURCE_LOCK hearthpad_e2e_wine)
elseif(HEARTHPAD_PACKAGE)
  message(WARNING "HEARTHPAD_PACKAGE does not exist: ${HEARTHPAD_PACKAGE}; test_package is not built")
endif()
