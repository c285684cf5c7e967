# pulsewell(1), installed compressed.
include(${CMAKE_CURRENT_LIST_DIR}/../gzip.cmake)
pulsewell_gzip(${CMAKE_CURRENT_LIST_DIR}/pulsewell.1 ${CMAKE_CURRENT_BINARY_DIR}/pulsewell.1.gz)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/pulsewell.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
