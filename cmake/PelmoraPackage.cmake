# The Debian package: `cpack -G DEB` in a release build folder, or scripts/package. Its
# dependencies come from dpkg-shlibdeps; the desktop entry, the file type and the icons are
# registered by the triggers of the Debian packages that own those folders.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pelmora)
set(CPACK_PACKAGE_VENDOR Orlathwick)
set(CPACK_PACKAGE_CONTACT "Orlathwick <pelmora@orlathwick.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "mass note taking in one notebook file")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION
    "Pelmora keeps any number of titled plain-text notes in one notebook file
(.pelm). The window lists the note titles and shows the open note; a search
box finds text in every title and note. Notebooks are the files of the
Windows program of the same name, byte for byte.
.
The package also holds pelmora-tool, which reads and writes notebooks from
the command line.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://github.com/orlathwick/pelmora)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The file type and the default program are looked up through these on a desktop; spelling needs
# a dictionary (libhunspell itself comes from dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "shared-mime-info, desktop-file-utils, hunspell-en-us | hunspell-dictionary")
include(CPack)
