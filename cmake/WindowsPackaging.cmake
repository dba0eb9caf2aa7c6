# The Windows program as an operator gets it (script/windows): a window without a console, the
# launcher's icon in the exe, and the install tree laid out as Qt's deployment tool would lay it
# out, packed twice by CPack: a zip to unpack anywhere and an NSIS installer.

enable_language(RC)
set(icon_rc ${CMAKE_CURRENT_BINARY_DIR}/korvalen_icon.rc)
file(WRITE ${icon_rc} "IDI_ICON1 ICON \"${KORVALEN_ICON_ICO}\"\n")
target_sources(korvalen PRIVATE ${icon_rc})
set_source_files_properties(${icon_rc} TARGET_DIRECTORY korvalen
  PROPERTIES OBJECT_DEPENDS ${KORVALEN_ICON_ICO})
add_dependencies(korvalen korvalen_icon_ico)
set_target_properties(korvalen PROPERTIES WIN32_EXECUTABLE TRUE)

# What korvalen.exe loads, and nothing else: the Qt modules it links, the platform plugin that
# draws its window, the native style, Qt's catalogues, and the compiler's runtime.
install(FILES
  $<TARGET_FILE:Qt6::Core> $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets>
  $<TARGET_FILE:Qt6::SerialPort> ${KORVALEN_MINGW_RUNTIME}
  DESTINATION .)
# Debian's MinGW runtime DLLs keep their debugging sections: 23 MiB of libstdc++ alone.
set(runtime_names)
foreach(dll ${KORVALEN_MINGW_RUNTIME})
  get_filename_component(name ${dll} NAME)
  list(APPEND runtime_names ${name})
endforeach()
string(CONFIGURE [[
  foreach(name @runtime_names@)
    execute_process(
      COMMAND "@CMAKE_STRIP@" --strip-unneeded "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${name}"
      COMMAND_ERROR_IS_FATAL ANY)
  endforeach()
]] strip_runtime @ONLY)
install(CODE "${strip_runtime}")
install(FILES $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> DESTINATION platforms)
install(FILES $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin> DESTINATION styles)
# Qt's own texts in the operator's language: Debian's catalogues of the same Qt release, where Qt
# looks beside a deployed program. Only Qt's base module's: the program uses no other's texts.
file(GLOB qtbase_catalogues /usr/share/qt6/translations/qtbase_*.qm)
if(NOT qtbase_catalogues)
  message(FATAL_ERROR "no qtbase_*.qm in /usr/share/qt6/translations: run script/bootstrap")
endif()
install(FILES ${qtbase_catalogues} DESTINATION translations)

# What the packages owe those whose work they carry: Korvalen's license, a notice naming each DLL
# with its license and where its source is, the license texts copied from this machine's own files
# (Debian keeps them with the packages the DLLs come from), and what it takes to build the same Qt
# again (qt-source/). The texts are written with Windows line ends, for Notepad and the installer.
set(KORVALEN_QT_MINGW_DIR ${PROJECT_SOURCE_DIR}/../shared/qt6-mingw CACHE PATH
  "The folder the Windows Qt came from, with its patch, toolchain file and build notes")
# The Debian source the Windows Qt was built from (the folder's README says so).
set(QT_BASE_SOURCE_VERSION 6.4.2+dfsg-10)
set(QT_SERIALPORT_VERSION 6.4.2-2)
set(QT_VERSION ${Qt6_VERSION})

# The Debian package that installed `file` on this machine: its name, its source and that source's
# version, and its copyright file.
function(korvalen_debian_package file prefix)
  execute_process(COMMAND dpkg-query --search ${file}
    OUTPUT_VARIABLE owner OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX REPLACE "[:,].*" "" package "${owner}")
  set(format [=[${Package} ${Version}\n${source:Package} ${source:Version}]=])
  execute_process(
    COMMAND dpkg-query --show --showformat=${format} ${package}
    OUTPUT_VARIABLE versions OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  string(REPLACE "\n" ";" versions "${versions}")
  list(GET versions 0 binary)
  list(GET versions 1 source)
  set(${prefix}_PACKAGE "${binary}" PARENT_SCOPE)
  set(${prefix}_SOURCE "${source}" PARENT_SCOPE)
  set(${prefix}_COPYRIGHT /usr/share/doc/${package}/copyright PARENT_SCOPE)
endfunction()
list(GET KORVALEN_MINGW_RUNTIME 0 libstdcxx)
set(winpthread ${KORVALEN_MINGW_RUNTIME})
list(FILTER winpthread INCLUDE REGEX "libwinpthread")
korvalen_debian_package(${libstdcxx} GCC)
korvalen_debian_package(${winpthread} WINPTHREAD)

function(korvalen_windows_text out)
  set(text)
  foreach(part ${ARGN})
    if(part MATCHES "^=")
      string(SUBSTRING "${part}" 1 -1 part)
      string(APPEND text "\n\n${part}\n\n")
    else()
      if(NOT EXISTS ${part})
        message(FATAL_ERROR "${part} is missing: the Windows packages' notices copy it")
      endif()
      file(READ ${part} content)
      string(APPEND text "${content}")
    endif()
  endforeach()
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE ${out} "${text}")
endfunction()
set(notices_dir ${CMAKE_CURRENT_BINARY_DIR}/notices)
configure_file(${PROJECT_SOURCE_DIR}/data/windows/THIRD-PARTY-NOTICES.txt.in
  ${notices_dir}/notices-head.txt @ONLY)
set(rule "================================================================================")
korvalen_windows_text(${notices_dir}/THIRD-PARTY-NOTICES.txt
  ${notices_dir}/notices-head.txt
  "=${rule}\nA. GNU Lesser General Public License, version 3\n${rule}"
  /usr/share/common-licenses/LGPL-3
  "=${rule}\nB. GNU General Public License, version 3\n${rule}"
  /usr/share/common-licenses/GPL-3
  "=${rule}\nC. Qt ${QT_VERSION}: Debian's copyright files for qt6-base and qt6-serialport\n${rule}"
  /usr/share/doc/libqt6core6/copyright
  "=${rule}"
  /usr/share/doc/libqt6serialport6/copyright
  "=${rule}\nD. GCC runtime libraries: Debian's copyright file for ${GCC_PACKAGE}, with the GCC Runtime Library Exception\n${rule}"
  ${GCC_COPYRIGHT}
  "=${rule}\nE. MinGW-w64 winpthreads: Debian's copyright file for ${WINPTHREAD_PACKAGE}\n${rule}"
  ${WINPTHREAD_COPYRIGHT})
korvalen_windows_text(${notices_dir}/LICENSE.txt ${PROJECT_SOURCE_DIR}/LICENSE)
install(FILES ${notices_dir}/LICENSE.txt ${notices_dir}/THIRD-PARTY-NOTICES.txt DESTINATION .)
install(FILES ${KORVALEN_QT_MINGW_DIR}/README.md ${KORVALEN_QT_MINGW_DIR}/qwindows-no-direct2d.patch
  ${KORVALEN_QT_MINGW_DIR}/mingw64-posix.cmake
  DESTINATION qt-source)

set(CPACK_PACKAGE_NAME Korvalen)
set(CPACK_PACKAGE_VENDOR "The Korvalen developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Operator panel for one positioning device on a serial port")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME korvalen-${PROJECT_VERSION}-win64)
set(CPACK_GENERATOR ZIP NSIS)

# One registry key and one folder whatever the version, so a newer installer replaces the older
# one instead of installing beside it; the program list shows the version in its own column.
set(CPACK_PACKAGE_INSTALL_DIRECTORY Korvalen)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Korvalen)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
# A 64-bit installer for a 64-bit program: it writes the 64-bit registry and Program Files, and runs
# where only 64-bit Windows programs can (Debian's Wine without its 32-bit half).
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_PACKAGE_NAME Korvalen)
set(CPACK_NSIS_DISPLAY_NAME Korvalen)
set(CPACK_NSIS_MUI_ICON ${KORVALEN_ICON_ICO})
set(CPACK_NSIS_MUI_UNIICON ${KORVALEN_ICON_ICO})
# The installer shows Korvalen's license and asks for it to be accepted before it installs.
set(CPACK_RESOURCE_FILE_LICENSE ${notices_dir}/LICENSE.txt)
set(CPACK_NSIS_INSTALLED_ICON_NAME korvalen.exe)
# The Start-menu entry; its icon is the one built into the exe.
set(CPACK_PACKAGE_EXECUTABLES korvalen Korvalen)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
# The exe keeps no symbols either.
set(CPACK_STRIP_FILES ON)
# The installer says what it is in its name; the zip keeps the plain one.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_BINARY_DIR}/KorvalenCPackNames.cmake)
file(WRITE ${CPACK_PROJECT_CONFIG_FILE} [=[
if(CPACK_GENERATOR STREQUAL "NSIS")
  string(APPEND CPACK_PACKAGE_FILE_NAME "-setup")
endif()
]=])
include(CPack)
