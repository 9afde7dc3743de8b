# Warning flags for Zorv's own targets (third-party code is built without them).
function(zorv_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow)
  if(ZORV_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
