# Fails unless the library's dynamic symbol table defines exactly the names the version script
# lists as global.
execute_process(COMMAND ${NM} -D --defined-only --format=posix ${LIBRARY}
  OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${symbols}")
set(exported "")
foreach(line IN LISTS lines)
  string(REGEX MATCH "^[^ ]+" name "${line}")
  list(APPEND exported ${name})
endforeach()
list(SORT exported)

file(READ ${MAP} map)
string(REGEX MATCH "global:([^}]*)local:" globals "${map}")
string(REGEX MATCHALL "[A-Za-z_][A-Za-z0-9_]*" expected "${CMAKE_MATCH_1}")
list(SORT expected)

if(NOT exported STREQUAL expected)
  message(FATAL_ERROR "libmailsift.so exports\n  ${exported}\nbut should export\n  ${expected}")
endif()
message(STATUS "libmailsift.so exports only: ${exported}")
