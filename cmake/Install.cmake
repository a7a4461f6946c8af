# Installed layout:
#   <prefix>/lib/brambold/     the program with the files it reads beside
#                              itself (help, licence; an administrator may add
#                              folder.txt, silent.txt, password.txt there)
#   <prefix>/bin/brambold      a relative link to the program; the program
#                              resolves it to find its folder
#   <prefix>/share/...         desktop entry, icons, metainfo, file manager menus
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

# Debian looks for the licence here.
install(FILES ${PROJECT_SOURCE_DIR}/resources/help/License.txt
  DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)
