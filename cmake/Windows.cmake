# The Windows build (the `windows` preset, cross-built with MinGW-w64; script/windows): where the
# program goes in the install tree, the MinGW runtime it needs beside it, and how the host runs the
# test programs.

# The program sits beside its DLLs, as Qt's deployment tool lays a Windows program out. Not the
# cache entry: qt_standard_project_setup() has set that to bin already.
set(CMAKE_INSTALL_BINDIR .)

# The compiler's own runtime: every program it links loads these.
set(KORVALEN_MINGW_RUNTIME)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(
    COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
    OUTPUT_VARIABLE found
    OUTPUT_STRIP_TRAILING_WHITESPACE)
  get_filename_component(found "${found}" REALPATH)
  if(NOT EXISTS "${found}")
    message(FATAL_ERROR "${CMAKE_CXX_COMPILER} does not ship ${dll}")
  endif()
  list(APPEND KORVALEN_MINGW_RUNTIME "${found}")
endforeach()

if(CMAKE_CROSSCOMPILING)
  # CTest runs each Windows test program through Wine; its loader finds the Qt and MinGW DLLs on
  # WINEPATH, and Qt finds its plugins beside its own DLLs.
  find_program(KORVALEN_WINE wine)
  if(KORVALEN_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${KORVALEN_WINE})
  endif()
  set(wine_path "$<TARGET_FILE_DIR:Qt6::Core>")
  foreach(dll ${KORVALEN_MINGW_RUNTIME})
    get_filename_component(dir "${dll}" DIRECTORY)
    list(APPEND wine_path "${dir}")
  endforeach()
  list(REMOVE_DUPLICATES wine_path)
  # Wine reads unix paths through its Z: drive. The ';' between them is escaped, so a test's
  # ENVIRONMENT list keeps WINEPATH in one piece.
  list(TRANSFORM wine_path PREPEND "Z:")
  string(REPLACE ";" "\\;" wine_path "${wine_path}")
  # A prefix of the build's own, so tests never touch the user's Wine; quiet, and without the
  # .NET and browser engines a new prefix would otherwise offer to download.
  set(KORVALEN_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine)
  set(KORVALEN_WINE_ENVIRONMENT
    "WINEPREFIX=${KORVALEN_WINE_PREFIX}" "WINEDEBUG=-all" "WINEDLLOVERRIDES=mscoree,mshtml="
    "WINEPATH=${wine_path}")
endif()
