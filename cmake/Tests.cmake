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
  # A program that holds a named mutex for a while (stub/mutex_holder.exe):
  # a host of another session, as the installer's test sees it.
  add_executable(hearthpad_mutex_holder tests/stubs/mutex_holder.cpp)
  set_target_properties(hearthpad_mutex_holder PROPERTIES OUTPUT_NAME mutex_holder
                        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/stub)
  target_compile_options(hearthpad_mutex_holder PRIVATE ${HP_WARNINGS})
  target_link_options(hearthpad_mutex_holder PRIVATE -municode -static)
  # A stand-in shell window (stub/shell_window.exe): Wine's desktop has none,
  # and starting a program through the shell needs one.
  add_executable(hearthpad_shell_window tests/stubs/shell_window_stub.cpp)
  set_target_properties(hearthpad_shell_window PROPERTIES OUTPUT_NAME shell_window
                        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/stub)
  target_compile_options(hearthpad_shell_window PRIVATE ${HP_WARNINGS})
  target_link_options(hearthpad_shell_window PRIVATE -municode -static)
  target_link_libraries(hearthpad_shell_window PRIVATE ole32 oleaut32 uuid)
  # A windowed program for the desktop shell to start (stub/shell_started.exe);
  # it reports beside itself, since it runs with the shell's environment.
  add_executable(hearthpad_shell_started_stub WIN32 tests/stubs/shell_started_stub.cpp)
  set_target_properties(hearthpad_shell_started_stub PROPERTIES OUTPUT_NAME shell_started
                        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/stub)
  target_compile_options(hearthpad_shell_started_stub PRIVATE ${HP_WARNINGS})
  target_link_options(hearthpad_shell_started_stub PRIVATE -municode -static)
  # A sas.dll (stub/sas.dll) that the tests plant where it must never be
  # loaded from.
  add_library(hearthpad_planted_sas SHARED tests/stubs/planted_sas.cpp)
  set_target_properties(hearthpad_planted_sas PROPERTIES OUTPUT_NAME sas PREFIX ""
                        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/stub)
  target_link_options(hearthpad_planted_sas PRIVATE -static)
  # A sas.dll (stub/recording/sas.dll) that records each SendSAS call, for
  # the Ctrl+Alt+Del service's test.
  add_library(hearthpad_recording_sas SHARED tests/stubs/recording_sas.cpp)
  set_target_properties(hearthpad_recording_sas PROPERTIES OUTPUT_NAME sas PREFIX ""
                        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/stub/recording
                        ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/stub/recording)
  target_compile_options(hearthpad_recording_sas PRIVATE ${HP_WARNINGS})
  target_link_options(hearthpad_recording_sas PRIVATE -static)
  file(GLOB HP_WIN_TEST_SOURCES CONFIGURE_DEPENDS tests/win32/*.cpp)
  if(HP_WIN_TEST_SOURCES)
    # The portable fakes the desktop tests hand to the tray, and the test
    # client (it shares no code with the host) for pairing from the tests.
    add_executable(hearthpad_win_tests ${HP_WIN_TEST_SOURCES} src/platform/fake/fake_process_runner.cpp
                   src/platform/fake/fake_user_registry.cpp tests/support/test_client.cpp)
    add_dependencies(hearthpad_win_tests hearthpad_schtasks_stub hearthpad_planted_sas hearthpad_shell_started_stub)
    target_compile_options(hearthpad_win_tests PRIVATE ${HP_WARNINGS})
    target_include_directories(hearthpad_win_tests PRIVATE tests)
    target_link_libraries(hearthpad_win_tests PRIVATE hearthpad_desktop hp::gtest)
    target_compile_definitions(hearthpad_win_tests PRIVATE HP_TEST_DATA_DIR="${CMAKE_SOURCE_DIR}/tests/data"
                               HP_STUB_DIR="${CMAKE_BINARY_DIR}/stub")
    # The Ctrl+Alt+Del service's pipe server, and the program itself for the
    # test that installs it into Wine's service control manager.
    add_dependencies(hearthpad_win_tests hearthpad_recording_sas hearthpad-sas)
    target_link_libraries(hearthpad_win_tests PRIVATE hearthpad_sas_service)
    target_compile_definitions(hearthpad_win_tests PRIVATE HP_SAS_SERVICE_EXE="$<TARGET_FILE:hearthpad-sas>")
    add_test(NAME win32_layer COMMAND hearthpad_win_tests --gtest_filter=-*WinHttp*)
    set_tests_properties(win32_layer PROPERTIES TIMEOUT 600)
    # The tray menu and a window in the display language Wine takes from the
    # locale: German and Japanese.
    foreach(lang de_DE.UTF-8:de ja_JP.UTF-8:ja)
      string(REPLACE ":" ";" pair ${lang})
      list(GET pair 0 locale)
      list(GET pair 1 code)
      add_test(NAME win32_language_${code}
               COMMAND ${CMAKE_SOURCE_DIR}/tests/win32/run_in_language.sh ${locale} ${code}
                       $<TARGET_FILE:hearthpad_win_tests> --gtest_filter=UserLanguage.*)
      set_tests_properties(win32_language_${code} PROPERTIES TIMEOUT 300 SKIP_RETURN_CODE 77)
    endforeach()
    # WinHTTP against the local HTTPS test server, which runs on the Linux
    # side for the duration of the program.
    add_test(NAME win32_update_https
             COMMAND ${CMAKE_SOURCE_DIR}/tests/support/with-https-test-server.sh
                     ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh $<TARGET_FILE:hearthpad_win_tests> --gtest_filter=*WinHttp*)
    set_tests_properties(win32_update_https PROPERTIES TIMEOUT 600)
  endif()
  # Every DLL hearthpad.exe imports is taken from the system directory: a
  # KnownDLL, or covered by its load-configuration directory's flags.
  add_test(NAME dll_imports COMMAND ${CMAKE_SOURCE_DIR}/tests/win32/check_dll_imports.sh ${CMAKE_OBJDUMP}
                                    $<TARGET_FILE:hearthpad>)
  add_test(NAME dll_imports_sas COMMAND ${CMAKE_SOURCE_DIR}/tests/win32/check_dll_imports.sh ${CMAKE_OBJDUMP}
                                        $<TARGET_FILE:hearthpad-sas>)
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
  # The reference client's tests link it: its unit tests, the published test
  # vectors, and the end-to-end runs against the console host (which need both
  # programs built, and the Windows client when there is one).
  foreach(t test_client test_vectors test_client_console)
    if(TARGET ${t})
      target_link_libraries(${t} PRIVATE hearthpad_client)
    endif()
  endforeach()
  if(TARGET test_client_console)
    add_dependencies(test_client_console hearthpad-client hearthpad-console)
    set(HEARTHPAD_WIN_CLIENT "" CACHE FILEPATH
        "hearthpad-client.exe for the Wine run of test_client_console (default: beside HEARTHPAD_WIN_EXE, else build/windows)")
    set(hp_win_client "${HEARTHPAD_WIN_CLIENT}")
    if(NOT hp_win_client AND HEARTHPAD_WIN_EXE)
      get_filename_component(hp_win_dir "${HEARTHPAD_WIN_EXE}" DIRECTORY)
      set(hp_win_client "${hp_win_dir}/hearthpad-client.exe")
    elseif(NOT hp_win_client)
      set(hp_win_client "${CMAKE_SOURCE_DIR}/build/windows/hearthpad-client.exe")
    endif()
    target_compile_definitions(test_client_console PRIVATE HP_WIN_CLIENT_EXE="${hp_win_client}")
  endif()
  if(TARGET test_vectors)
    target_compile_definitions(test_vectors PRIVATE HP_VECTORS_DIR="${CMAKE_SOURCE_DIR}/docs/vectors")
  endif()
  # The translations: every text of the sources in the template, every
  # catalogue complete with its placeholders, plural forms and mnemonics; and
  # the check itself on catalogues with one planted fault each.
  add_test(NAME catalogue COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/scripts/catalogue/check.py --sources)
  add_test(NAME catalogue_check_faults COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tests/catalogue/check_test.py)
  # The layers depend one way only (read from the sources' includes).
  add_test(NAME layering COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-layers.sh)
  # The layering check itself, on small trees with a planted include against
  # the order, and on the real tree.
  add_test(NAME layering_order COMMAND ${CMAKE_SOURCE_DIR}/tests/layering/check_layers_test.sh)
  # The console's update command against a stand-in update server, in
  # namespaces of its own (only loopback; the server's name and authority
  # given to the program through /etc/hosts and the system bundle).
  add_test(NAME console_update COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/console_update_test.sh
                                       $<TARGET_FILE:hearthpad-console>)
  set_tests_properties(console_update PROPERTIES TIMEOUT 300)
  # The address the console names for phones, in namespaces of its own with
  # adapters with and without a default route and one that is down.
  add_test(NAME console_reach COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/console_reach_test.sh
                                      $<TARGET_FILE:hearthpad-console>)
  set_tests_properties(console_reach PROPERTIES TIMEOUT 300 SKIP_RETURN_CODE 77)
  # The fuzz targets, each replaying its seed corpus once.
  include(cmake/Fuzz.cmake)
  include(cmake/EndToEnd.cmake)
  include(cmake/Mdns.cmake)
  include(cmake/X11Tests.cmake)
endif()
