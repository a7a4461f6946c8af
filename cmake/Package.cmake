# The Debian package: `cpack -G DEB` in a Release build (scripts/package).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brambold)
set(CPACK_PACKAGE_VENDOR Tessmark)
set(CPACK_PACKAGE_CONTACT "Brambold developers <developers@brambold.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "unpack RAR archives with a double-click")
set(CPACK_PACKAGE_DESCRIPTION
"Brambold Free Unrar unpacks a RAR archive into the archive's own folder when
you double-click it: a small window with a progress bar, questions only when
needed (a password, a missing volume, whether to overwrite a file), and a
caption that says whether everything went well. Started from the menu, it
takes archives dropped onto its window and unpacks them one after another.

The decompression is RARLAB's UnRAR library (libunrar5, in Debian's
non-free component).")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
# contrib: free itself, but it needs libunrar5 from non-free.
set(CPACK_DEBIAN_PACKAGE_SECTION contrib/utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://brambold.example/)
# The linked libraries (Qt 6 widgets, libjpeg, the C++ runtime) come from
# dpkg-shlibdeps; what the program only loads at run time is named here: the
# UnRAR library it opens with dlopen, and the font its windows are drawn in.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libunrar5, fonts-liberation2")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# No maintainer scripts: the desktop, MIME, icon and AppStream caches are
# refreshed by the file triggers of desktop-file-utils, hicolor-icon-theme and
# appstream on the folders this package installs into.

include(CPack)
