# Our own targets compile warning-free; third-party headers come in as system headers.
function(kalvoran_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror)
endfunction()
