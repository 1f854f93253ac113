# Native builds take every library from Debian's -dev packages. The Windows
# cross build takes libsodium, the QR Code generator (Nayuki's qrcodegen) and
# GoogleTest from the cache that scripts/build-win-deps.sh fills, and the
# header-only Asio and nlohmann-json through a shim include directory (never
# /usr/include itself).
set(THREADS_PREFER_PTHREAD_FLAG ON)
find_package(Threads REQUIRED)

if(WIN32)
  if(NOT HEARTHPAD_WIN_DEPS)
    set(HEARTHPAD_WIN_DEPS "$ENV{HEARTHPAD_WIN_DEPS}")
  endif()
  if(NOT HEARTHPAD_WIN_DEPS OR NOT EXISTS "${HEARTHPAD_WIN_DEPS}/lib/libsodium.a"
     OR NOT EXISTS "${HEARTHPAD_WIN_DEPS}/lib/libqrcodegencpp.a")
    message(FATAL_ERROR "Windows dependencies not found; run scripts/build-win-deps.sh and set HEARTHPAD_WIN_DEPS")
  endif()
  add_library(hp::sodium INTERFACE IMPORTED)
  target_include_directories(hp::sodium SYSTEM INTERFACE "${HEARTHPAD_WIN_DEPS}/include")
  target_link_libraries(hp::sodium INTERFACE "${HEARTHPAD_WIN_DEPS}/lib/libsodium.a")
  target_compile_definitions(hp::sodium INTERFACE SODIUM_STATIC)
  add_library(hp::qrcodegen INTERFACE IMPORTED)
  target_include_directories(hp::qrcodegen SYSTEM INTERFACE "${HEARTHPAD_WIN_DEPS}/include/qrcodegen")
  target_link_libraries(hp::qrcodegen INTERFACE "${HEARTHPAD_WIN_DEPS}/lib/libqrcodegencpp.a")
  add_library(hp::json INTERFACE IMPORTED)
  target_include_directories(hp::json SYSTEM INTERFACE "${HEARTHPAD_WIN_DEPS}/shim")
  add_library(hp::asio INTERFACE IMPORTED)
  target_include_directories(hp::asio SYSTEM INTERFACE "${HEARTHPAD_WIN_DEPS}/shim")
  target_compile_definitions(hp::asio INTERFACE ASIO_STANDALONE ASIO_NO_DEPRECATED)
  target_link_libraries(hp::asio INTERFACE ws2_32 mswsock)
  set(CMAKE_EXE_LINKER_FLAGS "${CMAKE_EXE_LINKER_FLAGS} -static -static-libgcc -static-libstdc++")
  # mDNS goes through dnsapi.dll, looked up at run time: nothing to link.
  add_library(hp::mdns INTERFACE IMPORTED)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(SODIUM REQUIRED IMPORTED_TARGET libsodium)
  pkg_check_modules(QRCODEGEN REQUIRED IMPORTED_TARGET qrcodegencpp)
  add_library(hp::sodium ALIAS PkgConfig::SODIUM)
  add_library(hp::qrcodegen ALIAS PkgConfig::QRCODEGEN)
  # HTTPS for the update check on Linux (WinHTTP on Windows).
  pkg_check_modules(CURL REQUIRED IMPORTED_TARGET libcurl)
  add_library(hp::curl ALIAS PkgConfig::CURL)
  find_package(nlohmann_json 3.11 REQUIRED)
  add_library(hp::json ALIAS nlohmann_json::nlohmann_json)
  add_library(hp::asio INTERFACE IMPORTED)
  target_compile_definitions(hp::asio INTERFACE ASIO_STANDALONE ASIO_NO_DEPRECATED)
  # mDNS through avahi-daemon (libavahi-client).
  pkg_check_modules(AVAHI REQUIRED IMPORTED_TARGET avahi-client)
  add_library(hp::mdns ALIAS PkgConfig::AVAHI)
endif()
