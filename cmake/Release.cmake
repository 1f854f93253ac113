# The release scripts beside the package (included by cmake/EndToEnd.cmake on
# Linux): scripts/sign.sh against a throwaway certificate authority, and
# scripts/winget-manifest.py read back with python3-yaml. Both run in seconds
# and need no build output.
add_test(NAME release_signing COMMAND ${CMAKE_SOURCE_DIR}/tests/package/sign_test.sh)
add_test(NAME release_winget_manifest COMMAND ${CMAKE_SOURCE_DIR}/tests/package/winget_manifest_test.py)
set_tests_properties(release_signing release_winget_manifest PROPERTIES TIMEOUT 60)
