# Fails unless the library's dynamic symbol table defines exactly VerifyPw
# and ChangePw.
execute_process(COMMAND nm -D --defined-only ${LIBRARY}
  OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${listing}")
set(names)
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^.* " "" name "${line}")
  list(APPEND names "${name}")
endforeach()
list(SORT names)
if(NOT names STREQUAL "ChangePw;VerifyPw")
  message(FATAL_ERROR "exported: ${names}; expected exactly ChangePw and VerifyPw")
endif()
message(STATUS "exported: ${names}")
