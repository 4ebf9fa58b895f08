# SPDX-License-Identifier: GPL-3.0-or-later
# Install layout of the files that are not programs, and the Debian package built from it.
# A tree configured with -DCMAKE_INSTALL_PREFIX=/usr -DMELVIGIL_TESTS=OFF -DMELVIGIL_BENCH=OFF
# and built gives melvigil_VERSION_amd64.deb with `cpack -G DEB`; scripts/package-tests.sh does
# this and tries the result.
include(GNUInstallDirs)

# Debian wants the licence as /usr/share/doc/<package>/copyright; other prefixes get the same
# files, so an install under /usr/local still carries its terms.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/melvigil)

set(CPACK_PACKAGE_NAME melvigil)
set(CPACK_PACKAGE_VENDOR "Melvigil maintainers")
set(CPACK_PACKAGE_CONTACT "Melvigil maintainers <maintainers@users.noreply.c-seed-984a61ca.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "watch a folder for downloaded music files")
set(CPACK_PACKAGE_DESCRIPTION
    "Melvigil watches a disk or directory tree for music files that other programs download \
(browsers, download managers) and lists each new one in its window. From the list you play a \
file, stop it, copy one or many files elsewhere, and rename files in place: downloads often \
lack their extension, and Melvigil detects the type from the file's first bytes and adds it \
back. The user interface is Chinese. The package also holds melvigil-cli, the same watching, \
playing, copying and renaming for scripts and terminals.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends come from the libraries the programs link (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Playback of WAV, MP3 and WMA, the window's Song-style font, the browser behind the link and
# Qt's own Chinese texts for the standard dialogs. Without them the program runs, with less.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-plugins-ugly, \
gstreamer1.0-libav, fonts-arphic-uming, xdg-utils, qt6-translations-l10n")

include(CPack)
