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

# test_installer: the installer beside that zip (hearthpad-<version>-setup.exe)
# run under Wine, each case in a fresh prefix under <build>/installer, with
# the Windows build's stand-ins (schtasks.exe as netsh.exe and schtasks.exe,
# mutex_holder.exe). When HEARTHPAD_SIGNED_INSTALLER names an installer signed
# with a throwaway certificate whose authority is HEARTHPAD_SIGNING_CA, it
# checks the signatures too.
set(HEARTHPAD_SIGNED_INSTALLER "" CACHE FILEPATH "installer signed with a throwaway certificate (test_installer)")
set(HEARTHPAD_SIGNING_CA "" CACHE FILEPATH "certificate authority of that throwaway certificate")
if(HEARTHPAD_PACKAGE AND EXISTS "${HEARTHPAD_PACKAGE}")
  get_filename_component(HP_PACKAGE_DIR "${HEARTHPAD_PACKAGE}" DIRECTORY)
  file(STRINGS "${CMAKE_SOURCE_DIR}/VERSION" HP_RELEASE_VERSION LIMIT_COUNT 1)
  string(STRIP "${HP_RELEASE_VERSION}" HP_RELEASE_VERSION)
  set(HP_INSTALLER "${HP_PACKAGE_DIR}/hearthpad-${HP_RELEASE_VERSION}-setup.exe")
  get_filename_component(HP_WIN_STUB_DIR "${HEARTHPAD_WIN_STUB_SCHTASKS}" DIRECTORY)
  if(EXISTS "${HP_INSTALLER}" AND EXISTS "${HP_WIN_STUB_DIR}/mutex_holder.exe")
    add_executable(test_installer tests/e2e/installer_test.cpp tests/e2e/wine_host.cpp)
    target_compile_options(test_installer PRIVATE ${HP_WARNINGS})
    target_link_libraries(test_installer PRIVATE hearthpad_test_support GTest::gtest_main)
    target_compile_definitions(test_installer PRIVATE HP_INSTALLER="${HP_INSTALLER}"
                               HP_STUB_DIR="${HP_WIN_STUB_DIR}" HP_E2E_DIR="${CMAKE_BINARY_DIR}")
    if(HEARTHPAD_SIGNED_INSTALLER AND EXISTS "${HEARTHPAD_SIGNED_INSTALLER}" AND EXISTS "${HEARTHPAD_SIGNING_CA}")
      target_compile_definitions(test_installer PRIVATE HP_SIGNED_INSTALLER="${HEARTHPAD_SIGNED_INSTALLER}"
                                 HP_SIGNING_CA="${HEARTHPAD_SIGNING_CA}")
    endif()
    add_test(NAME installer COMMAND test_installer)
    set_tests_properties(installer PROPERTIES TIMEOUT 900)
  else()
    message(WARNING "no installer at ${HP_INSTALLER} or no stand-ins in ${HP_WIN_STUB_DIR}: test_installer is not built")
  endif()
endif()

# deb_package (label "package"): the Debian package checked as a user gets
# it (tests/package/deb_test.sh): lintian, its control data and files, an
# install into a scratch root with dpkg --root and the purge after it. It
# takes HEARTHPAD_DEB, else the package beside HEARTHPAD_PACKAGE (both
# written by scripts/package.sh), else builds one in <build>/deb-test.
set(HEARTHPAD_DEB "" CACHE FILEPATH "Debian package to check (deb_package); default: beside HEARTHPAD_PACKAGE")
set(hp_deb "${HEARTHPAD_DEB}")
if(NOT hp_deb AND HEARTHPAD_PACKAGE)
  file(STRINGS "${CMAKE_SOURCE_DIR}/VERSION" hp_deb_version LIMIT_COUNT 1)
  string(STRIP "${hp_deb_version}" hp_deb_version)
  get_filename_component(hp_deb_dir "${HEARTHPAD_PACKAGE}" DIRECTORY)
  set(hp_deb "${hp_deb_dir}/hearthpad_${hp_deb_version}_amd64.deb")
endif()
add_test(NAME deb_package COMMAND ${CMAKE_SOURCE_DIR}/tests/package/deb_test.sh "${hp_deb}" ${CMAKE_BINARY_DIR}/deb-test)
set_tests_properties(deb_package PROPERTIES LABELS package TIMEOUT 1800)
