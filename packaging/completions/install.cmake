# The completions where bash-completion, zsh (Debian's vendor folder) and fish look.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/pulsewell.bash RENAME pulsewell
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/_pulsewell
        DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/pulsewell.fish
        DESTINATION ${CMAKE_INSTALL_DATADIR}/fish/vendor_completions.d)
