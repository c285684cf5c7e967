# Sanitizers apply to the whole build so that every test runs instrumented.
if(PULSEWELL_SANITIZE)
  set(_flags -fsanitize=${PULSEWELL_SANITIZE} -fno-omit-frame-pointer -g)
  if(PULSEWELL_SANITIZE MATCHES "address|undefined")
    list(APPEND _flags -fno-sanitize-recover=all)
  endif()
  add_compile_options(${_flags})
  add_link_options(-fsanitize=${PULSEWELL_SANITIZE})
endif()
