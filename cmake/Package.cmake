# The Debian package (cpack in a build folder, or scripts/package): kestrow_VERSION_ARCH.deb,
# installed under /usr with the layout of Install.cmake, depending on Debian's own packages only.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrow)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Kestrow")
set(CPACK_PACKAGE_CONTACT "Kestrow Dev <dev@kestrow.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "keeps Target folders identical to a Source folder")
set(CPACK_PACKAGE_DESCRIPTION
"Kestrow clones folders: named clone tasks, each with one Source folder, one or
more Target folders and a schedule, keep every Target identical to its Source.
New and changed files are copied; items no longer in the Source are deleted,
sent to the trash or securely erased. Files compare by date and time, size,
contents or CRC-32. Every action is logged, and an HTML report shows the
differences between two folders.

The package holds the desktop program (kestrow), which runs due tasks from the
tray, and kestrow-cli, the same core without a desktop, with a scheduler daemon
and its systemd user unit.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps (dpkg-dev) works the versions out from what the programs link; without
# it the package names the same packages unversioned.
find_program(KESTROW_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(KESTROW_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS
        "libqt6widgets6, libqt6printsupport6, libqt6gui6, libqt6dbus6, libqt6network6, libqt6core6, zlib1g, libc6, libstdc++6")
endif()
include(CPack)
