# Our own targets compile warning-free; third-party headers come in as system headers.
function(kalvoran_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror)
  # Under the sanitizers' instrumentation GCC's flow analysis reports
  # maybe-uninitialized inside the standard library itself (std::regex,
  # std::function); the normal build keeps the warning for our code.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND (KALVORAN_SANITIZE OR KALVORAN_TSAN))
    target_compile_options(${target} PRIVATE -Wno-maybe-uninitialized)
  endif()
endfunction()
