# pulsewell_gzip(SOURCE OUTPUT): OUTPUT is SOURCE compressed as Debian wants it, built
# with the `pulsewell_package_files` target: gzip -9n, so the same text always gives the
# same bytes.
find_program(PULSEWELL_GZIP gzip REQUIRED)
if(NOT TARGET pulsewell_package_files)
  add_custom_target(pulsewell_package_files ALL)
endif()
function(pulsewell_gzip source output)
  add_custom_command(OUTPUT ${output}
    COMMAND sh -c "\"$0\" -9nc \"$1\" >\"$2\"" ${PULSEWELL_GZIP} ${source} ${output}
    DEPENDS ${source} VERBATIM)
  get_filename_component(name ${output} NAME)
  add_custom_target(pulsewell_gzip_${name} DEPENDS ${output})
  add_dependencies(pulsewell_package_files pulsewell_gzip_${name})
endfunction()
