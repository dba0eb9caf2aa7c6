# The manual pages korvalen(1) and korvalen-demo(1), made by help2man from each program's own
# --help-all at build time, so every option the program takes is in its page; what help cannot say
# (port numbers, exit status, files) comes from data/man/<program>.h2m.
find_program(HELP2MAN help2man REQUIRED)
find_program(GZIP gzip REQUIRED)
include(GNUInstallDirs)

function(korvalen_man_page target name summary)
  set(include ${PROJECT_SOURCE_DIR}/data/man/${name}.h2m)
  set(page ${CMAKE_CURRENT_BINARY_DIR}/${name}.1)
  # The sanitizer builds' leak report at exit is the tests' business, not the manual's. HOME=~
  # makes --help name the settings file as any user's, not the build machine's.
  add_custom_command(
    OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0 QT_QPA_PLATFORM=offscreen HOME=~ --unset=XDG_CONFIG_HOME
      ${HELP2MAN} --no-info --section=1 --help-option=--help-all --version-option=--version
      --name=${summary} --include=${include} --output=${page} $<TARGET_FILE:${target}>
    COMMAND ${GZIP} -9nf ${page}
    DEPENDS ${target} ${include}
    COMMENT "Writing the manual page ${name}.1"
    VERBATIM)
  add_custom_target(${target}_man ALL DEPENDS ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
