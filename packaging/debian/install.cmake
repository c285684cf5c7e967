# The Debian package's copyright file and its changelog, compressed. The changelog's
# newest entry names the version; its upstream part must be the project's.
include(${CMAKE_CURRENT_LIST_DIR}/../gzip.cmake)
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/changelog _newest LIMIT_COUNT 1)
if(NOT _newest MATCHES "^pulsewell \\(([^-]+)-([^)]+)\\)")
  message(FATAL_ERROR "packaging/debian/changelog does not start with pulsewell (VERSION-REVISION)")
endif()
if(NOT CMAKE_MATCH_1 VERSION_EQUAL PROJECT_VERSION)
  message(FATAL_ERROR "packaging/debian/changelog is at ${CMAKE_MATCH_1}, the project at "
                      "${PROJECT_VERSION}")
endif()
set(PULSEWELL_DEBIAN_REVISION ${CMAKE_MATCH_2})

pulsewell_gzip(${CMAKE_CURRENT_LIST_DIR}/changelog
               ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian.gz)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/changelog.Debian.gz ${CMAKE_CURRENT_LIST_DIR}/copyright
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/lintian-overrides RENAME pulsewell
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides)
