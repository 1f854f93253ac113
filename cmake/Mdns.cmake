# Native only (included by cmake/Tests.cmake): the real Avahi registration,
# read back by python3-zeroconf from a second network namespace. The test
# creates its own namespaces, private D-Bus and avahi-daemon, and reports
# itself skipped (77) without root or network namespaces.
add_executable(hp_mdns_advertise tests/mdns/advertise_main.cpp)
target_compile_options(hp_mdns_advertise PRIVATE ${HP_WARNINGS})
target_link_libraries(hp_mdns_advertise PRIVATE hearthpad_core hearthpad_platform)

add_test(NAME mdns_avahi_netns
         COMMAND ${CMAKE_SOURCE_DIR}/tests/mdns/avahi_netns_test.sh $<TARGET_FILE:hp_mdns_advertise>
                 ${CMAKE_SOURCE_DIR}/tests/mdns/browse.py)
set_tests_properties(mdns_avahi_netns PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120)
