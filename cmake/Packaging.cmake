# The Debian package: `cpack -G DEB` in a build folder packs the installed
# tree (/usr/lib/lantern with links in /usr/bin, the desktop files, the
# manual pages) and the machine-wide defaults under /etc/xdg/lantern.

set(CPACK_PACKAGE_NAME "lantern")
set(CPACK_PACKAGE_VENDOR "The Lantern developers")
set(CPACK_PACKAGE_CONTACT "The Lantern developers <lantern@lantern-viewer.org>")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "viewer for CD, DVD and Blu-ray disc images")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR "DEB")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${LANTERN_HOMEPAGE}")
# The libraries the programs link, found from the binaries by dpkg-shlibdeps;
# the MIME database is read at run time.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "shared-mime-info")
# Mount needs udisks2; the rest works without it.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "udisks2, xdg-utils")
# The long description; CPack puts the summary above it.
set(CPACK_PACKAGE_DESCRIPTION "Lantern opens disc images (.iso, .adi, .rdf) and shows their
folders as a tree beside a file list. It reads ISO 9660, Joliet, Rock Ridge
and UDF itself, as well as cue/BIN, NRG, MDS/MDF, CloneCD and compressed ISO
images of other disc programs, opens single files with their usual programs and extracts
files and folders with progress and cancel.

The package holds the viewer, the command-line front end lantern-cli, the
burner Ardent8 (on libburn) and the virtual-drive program Fenmount, which
mounts images read-only through udisks2.")

# The machine-wide defaults are the administrator's to change.
set(_lantern_conffiles "${CMAKE_BINARY_DIR}/debian/conffiles")
file(WRITE "${_lantern_conffiles}" "/etc/xdg/lantern/registry.reg\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${_lantern_conffiles}")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# What Debian asks of every package: the copyright and a changelog.
set(_lantern_docdir "${CMAKE_INSTALL_DATAROOTDIR}/doc/lantern")
configure_file("${PROJECT_SOURCE_DIR}/resources/debian/changelog"
    "${CMAKE_BINARY_DIR}/debian/changelog" @ONLY)
add_custom_command(OUTPUT "${CMAKE_BINARY_DIR}/debian/changelog.gz"
    COMMAND gzip -9 -n -f -k "${CMAKE_BINARY_DIR}/debian/changelog"
    DEPENDS "${CMAKE_BINARY_DIR}/debian/changelog")
add_custom_target(lantern_debian_doc ALL DEPENDS "${CMAKE_BINARY_DIR}/debian/changelog.gz")
install(FILES "${PROJECT_SOURCE_DIR}/resources/debian/copyright" DESTINATION "${_lantern_docdir}")
install(FILES "${CMAKE_BINARY_DIR}/debian/changelog.gz" DESTINATION "${_lantern_docdir}")

include(CPack)
