# Warning flags for the project's own targets.
function(pwlevel_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic
      -Wshadow -Wconversion -Wsign-conversion)
  endif()
  if(PWLEVEL_WARNINGS_AS_ERRORS)
    target_compile_options(${target} PRIVATE
      $<IF:$<BOOL:${MSVC}>,/WX,-Werror>)
  endif()
endfunction()
