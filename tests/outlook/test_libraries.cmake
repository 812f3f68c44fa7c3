# Stand-in MAPI libraries for the loader's tests: two complete ones told apart by a marker and
# one that lacks a decorated export. Like the provider, they get their decorated export names
# from mapi_export_names after linking.
function(mailsift_add_test_mapi_library name marker)
  add_library(${name} MODULE ${CMAKE_CURRENT_SOURCE_DIR}/test_mapi_library_exports.cpp)
  set_target_properties(${name} PROPERTIES
    PREFIX ""
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_definitions(${name} PRIVATE TEST_MAPI_LIBRARY_MARKER=${marker} ${ARGN})
  target_link_options(${name} PRIVATE -Wl,--hash-style=sysv)
  mailsift_set_compile_options(${name})
  add_dependencies(${name} mapi_export_names)
  add_custom_command(TARGET ${name} POST_BUILD
    COMMAND mapi_export_names $<TARGET_FILE:${name}>
    VERBATIM)
  add_dependencies(outlook_library_tests ${name})
endfunction()

mailsift_add_test_mapi_library(test_mapi_library_first 1)
mailsift_add_test_mapi_library(test_mapi_library_second 2)
mailsift_add_test_mapi_library(test_mapi_library_lacking 3 TEST_MAPI_LIBRARY_LACKS_HR_GET_ONE_PROP)

target_compile_definitions(outlook_library_tests PRIVATE
  TEST_MAPI_LIBRARY_FIRST="$<TARGET_FILE:test_mapi_library_first>"
  TEST_MAPI_LIBRARY_SECOND="$<TARGET_FILE:test_mapi_library_second>"
  TEST_MAPI_LIBRARY_LACKING="$<TARGET_FILE:test_mapi_library_lacking>")
