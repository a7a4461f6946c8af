# Installed layout:
#   <prefix>/lib/brambold/     the program with the files it reads beside
#                              itself (help, licence), and folder.txt,
#                              silent.txt, password.txt as links into
#                              <sysconf>/brambold/
#   <prefix>/bin/brambold      a relative link to the program; the program
#                              resolves it to find its folder
#   <prefix>/share/...         desktop entry, icons, metainfo, file manager
#                              menus, manual page
#   <sysconf>/brambold/        empty: the administrator's configuration
#                              (/etc/brambold for the prefix /usr)
#
# The program folder is lib/brambold, not GNUInstallDirs' LIBDIR: on Debian
# that would be a multiarch folder, and the folder holds a program, not a
# library.
include(GNUInstallDirs)
set(BRAMBOLD_PROGRAM_DIR lib/brambold)
set(BRAMBOLD_APP_ID example.brambold.freeunrar)
set(BRAMBOLD_MIME_TYPES application/vnd.rar application/x-rar application/x-rar-compressed)

install(TARGETS brambold RUNTIME DESTINATION ${BRAMBOLD_PROGRAM_DIR})
install(FILES
    ${PROJECT_SOURCE_DIR}/resources/help/CoreHelpEN.dat
    ${PROJECT_SOURCE_DIR}/resources/help/CoreHelpDE.dat
    ${PROJECT_SOURCE_DIR}/resources/help/License.txt
  DESTINATION ${BRAMBOLD_PROGRAM_DIR})

# The link is made in the build tree and installed as it is, so DESTDIR and
# package staging keep it relative.
set(brambold_staged ${CMAKE_BINARY_DIR}/install-staged)
file(MAKE_DIRECTORY ${brambold_staged})
file(CREATE_LINK ../${BRAMBOLD_PROGRAM_DIR}/brambold ${brambold_staged}/brambold SYMBOLIC)
install(FILES ${brambold_staged}/brambold DESTINATION ${CMAKE_INSTALL_BINDIR})

# One MIME list for every file that names the RAR types.
list(JOIN BRAMBOLD_MIME_TYPES ";" BRAMBOLD_DESKTOP_MIME_TYPES)
string(APPEND BRAMBOLD_DESKTOP_MIME_TYPES ";")
list(TRANSFORM BRAMBOLD_MIME_TYPES PREPEND "<mediatype>" OUTPUT_VARIABLE mediatypes)
list(TRANSFORM mediatypes APPEND "</mediatype>")
list(JOIN mediatypes "\n    " BRAMBOLD_METAINFO_MEDIATYPES)

set(desktop_in ${PROJECT_SOURCE_DIR}/resources/desktop)
configure_file(${desktop_in}/brambold.desktop.in ${brambold_staged}/brambold.desktop @ONLY)
configure_file(${desktop_in}/dolphin-servicemenu.desktop.in ${brambold_staged}/servicemenu/brambold.desktop @ONLY)
configure_file(${desktop_in}/brambold.nemo_action.in ${brambold_staged}/brambold.nemo_action @ONLY)
configure_file(${desktop_in}/file-manager-action.desktop.in ${brambold_staged}/file-manager/brambold.desktop @ONLY)
configure_file(${desktop_in}/metainfo.xml.in ${brambold_staged}/${BRAMBOLD_APP_ID}.metainfo.xml @ONLY)

set(share ${CMAKE_INSTALL_DATADIR})
install(FILES ${brambold_staged}/brambold.desktop DESTINATION ${share}/applications)
install(FILES ${brambold_staged}/servicemenu/brambold.desktop DESTINATION ${share}/kio/servicemenus)
install(FILES ${brambold_staged}/brambold.nemo_action DESTINATION ${share}/nemo/actions)
install(FILES ${brambold_staged}/file-manager/brambold.desktop DESTINATION ${share}/file-manager/actions)
install(FILES ${brambold_staged}/${BRAMBOLD_APP_ID}.metainfo.xml DESTINATION ${share}/metainfo)

install(FILES ${desktop_in}/icons/brambold.svg DESTINATION ${share}/icons/hicolor/scalable/apps)
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES ${desktop_in}/icons/brambold-${size}.png
    DESTINATION ${share}/icons/hicolor/${size}x${size}/apps
    RENAME brambold.png)
endforeach()

install(FILES ${PROJECT_SOURCE_DIR}/resources/man/brambold.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The three optional files are configuration, which belongs under /etc, yet
# the program reads them beside itself. So the program folder holds links to
# them; until an administrator writes a file, its link leads nowhere, and the
# program takes that as no file. The folder is worked out when installing, as
# GNUInstallDirs does, so that `cmake --install --prefix` gets it right too.
install(CODE "set(brambold_sysconfdir \"${CMAKE_INSTALL_SYSCONFDIR}\")
set(brambold_program_dir \"${BRAMBOLD_PROGRAM_DIR}\")")
install(CODE [[
  set(config_dir "${brambold_sysconfdir}")
  if(NOT IS_ABSOLUTE "${config_dir}")
    if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
      set(config_dir "/${config_dir}")
    else()
      set(config_dir "${CMAKE_INSTALL_PREFIX}/${config_dir}")
    endif()
  endif()
  set(config_dir "${config_dir}/brambold")
  message(STATUS "Installing: $ENV{DESTDIR}${config_dir}")
  file(MAKE_DIRECTORY "$ENV{DESTDIR}${config_dir}")
  foreach(name folder.txt silent.txt password.txt)
    set(link "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/${brambold_program_dir}/${name}")
    # A file an administrator put there by the old rule stays in force.
    if(EXISTS "${link}" AND NOT IS_SYMLINK "${link}")
      message(WARNING "${link} is kept; move it to ${config_dir}/${name}")
      continue()
    endif()
    message(STATUS "Installing: ${link} -> ${config_dir}/${name}")
    file(REMOVE "${link}")
    file(CREATE_LINK "${config_dir}/${name}" "${link}" SYMBOLIC)
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${link}")
  endforeach()
]])
