# Every target of the project builds with the same strict warnings, as errors.
function(pulsewell_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror
                         -Wshadow -Wconversion -Wno-sign-conversion)
  # GCC 12's optimiser reports bounds "errors" inside libstdc++'s own vector copies
  # (GCC bugs 105545, 107852); they are not in our code and not real.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE -Wno-array-bounds -Wno-stringop-overflow
                           -Wno-stringop-overread -Wno-restrict)
  endif()
endfunction()
