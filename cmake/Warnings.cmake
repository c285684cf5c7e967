# Every target of the project builds with the same strict warnings, as errors.
function(pulsewell_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror
                         -Wshadow -Wconversion -Wno-sign-conversion)
endfunction()
