# hearthpad-sas.exe: the Ctrl+Alt+Del helper service and its set-up
# (src/sas_service; its command line and exit codes are in contract.h). A
# windowed program (no console flashes when the installer runs it), linked
# statically like hearthpad.exe. Everything but its entry is in a library
# that the Windows test program links too.
file(GLOB HP_SAS_SERVICE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/sas_service/*.cpp)
list(REMOVE_ITEM HP_SAS_SERVICE_SOURCES ${CMAKE_SOURCE_DIR}/src/sas_service/main.cpp)
add_library(hearthpad_sas_service STATIC ${HP_SAS_SERVICE_SOURCES})
target_compile_options(hearthpad_sas_service PRIVATE ${HP_WARNINGS})
target_link_libraries(hearthpad_sas_service PUBLIC hearthpad_core hearthpad_platform advapi32)

add_executable(hearthpad-sas WIN32 ${CMAKE_SOURCE_DIR}/src/sas_service/main.cpp)
target_compile_options(hearthpad-sas PRIVATE ${HP_WARNINGS})
target_link_options(hearthpad-sas PRIVATE -municode -Wl,--no-insert-timestamp)
target_link_libraries(hearthpad-sas PRIVATE hearthpad_sas_service)
# Its imported DLLs from the system directory too (see hearthpad.exe).
add_custom_command(TARGET hearthpad-sas POST_BUILD
                   COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/scripts/pe-load-config.py $<TARGET_FILE:hearthpad-sas>
                   VERBATIM)
