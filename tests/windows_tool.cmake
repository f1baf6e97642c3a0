# The Windows pwlevel.exe, run as an administrator would: init, change and
# verify on a password file of its own, with input from a file.
#   cmake -DEMULATOR=<runner or empty> -DTOOL=<pwlevel.exe> -DWORK_DIR=<dir>
#         -P windows_tool.cmake
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
file(WRITE ${WORK_DIR}/none.txt "")
file(WRITE ${WORK_DIR}/new.txt "n3w pass\n")
file(WRITE ${WORK_DIR}/right.txt "n3w\r\n")
file(WRITE ${WORK_DIR}/wrong.txt "two\r\n")
set(ENV{PASSWD} "pw.txt")

# Runs the tool with `input` on its standard input and the other arguments
# on its command line; fails unless it exits with `code` and prints text
# matching `pattern`.
function(expect code pattern input)
  list(JOIN ARGN " " command)
  execute_process(
    COMMAND ${EMULATOR} ${TOOL} ${ARGN}
    WORKING_DIRECTORY ${WORK_DIR}
    INPUT_FILE ${WORK_DIR}/${input}
    OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE result)
  if(NOT result EQUAL code OR NOT "${out}${err}" MATCHES "${pattern}")
    message(FATAL_ERROR "pwlevel ${command} < ${input}: exit ${result}, "
                        "expected ${code} and /${pattern}/\n${out}${err}")
  endif()
  message(STATUS "pwlevel ${command}: ${out}")
endfunction()

expect(0 "created \"pw.txt\"" none.txt init)
expect(1 "exists already" none.txt init)
expect(0 "level 2: password changed" new.txt change 2)
expect(0 "^level 2\r?\n$" right.txt verify)
expect(1 "no level" wrong.txt verify)
expect(0 "record line: line 2" none.txt check)
file(READ ${WORK_DIR}/pw.txt written HEX)
if(NOT written MATCHES "^3b[0-9a-f]*0d0a5061737377643d3a[0-9a-f]*3a0d0a$")
  message(FATAL_ERROR "pw.txt is not a comment and a record line, CR LF "
                      "ended: ${written}")
endif()
if(EXISTS ${WORK_DIR}/pw.bak)
  message(FATAL_ERROR "the change left its backup pw.bak")
endif()
