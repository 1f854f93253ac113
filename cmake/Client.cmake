# hearthpad-client: the reference client on the command line, for Linux and
# for Windows (a static console program) from the same sources in src/client.
#
# It stands on the base library and on the protocol's pure codecs (frames,
# datagrams, the 20-byte input record), which it takes from the core library:
# the linker pulls those objects alone, and scripts/check-layers.sh keeps the
# client from including any other part of the host.
file(GLOB HP_CLIENT_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/client/*.cpp)
list(FILTER HP_CLIENT_SOURCES EXCLUDE REGEX "_(posix|win32)\\.cpp$")
add_library(hearthpad_client STATIC ${HP_CLIENT_SOURCES} ${CMAKE_SOURCE_DIR}/src/client/os_${HP_OS_SUFFIX}.cpp)
target_compile_options(hearthpad_client PRIVATE ${HP_WARNINGS})
target_link_libraries(hearthpad_client PUBLIC hearthpad_core hearthpad_base hp::asio)

add_executable(hearthpad-client ${CMAKE_SOURCE_DIR}/src/client/main_${HP_OS_SUFFIX}.cpp)
target_compile_options(hearthpad-client PRIVATE ${HP_WARNINGS})
target_link_libraries(hearthpad-client PRIVATE hearthpad_client)
if(WIN32)
  # A console program with wmain; no link time in the PE header, like hearthpad.exe.
  target_link_options(hearthpad-client PRIVATE -municode -Wl,--no-insert-timestamp)
endif()
