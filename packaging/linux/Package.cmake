# `cpack -G DEB` and `cpack -G RPM` in the build folder: one package of everything above under /usr,
# its library dependencies found by dpkg-shlibdeps or rpm, and on Debian a -dbgsym package with
# the programs' debug information under /usr/lib/debug/.build-id. Included by CMakeLists.txt here.

set(CPACK_PACKAGE_NAME "tiny-installer")
set(CPACK_PACKAGE_VENDOR "${TI_VENDOR_NAME}")
set(CPACK_PACKAGE_CONTACT "${TI_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_HOMEPAGE_URL "${TI_HOMEPAGE_URL}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Installer of ${TI_PRODUCT_NAME} by ${TI_VENDOR_NAME}")
set(CPACK_PACKAGE_DESCRIPTION "\
This small program installs ${TI_PRODUCT_NAME}, the desktop application of
${TI_VENDOR_NAME}. It carries none of the product: it fetches the maker's
configuration, checks the computer, downloads the latest build, checks the
archive's signature against the maker's key, places the product in /opt for
everyone on the computer and offers to launch it. It removes the product
again (tiny-installer --remove, or the product's menu entry).

Only placing and removing run as root: two small helpers that pkexec starts
after an administrator's password, each under a polkit action of its own.
The installer also opens the ${TI_URL_SCHEME}:// addresses of the maker's web pages.")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES OFF)  # DEB strips while it makes the -dbgsym package; RPM: CPackGenerator.cmake
set(CPACK_COMPONENTS_ALL installer debian)
set(CPACK_DEB_COMPONENT_INSTALL OFF)
set(CPACK_RPM_COMPONENT_INSTALL OFF)
# A package without the maker's key would ship a helper that refuses everything: no package then.
set(CPACK_PRE_BUILD_SCRIPTS "${CMAKE_CURRENT_SOURCE_DIR}/RequireArchiveKey.cmake")
set(CPACK_POST_BUILD_SCRIPTS "${CMAKE_CURRENT_SOURCE_DIR}/FixDebugPackage.cmake")
# Settings that differ by generator, and SOURCE_DATE_EPOCH for the archives' times.
set(CPACK_TI_SOURCE_DATE_EPOCH "${TI_SOURCE_DATE_EPOCH}")
set(CPACK_PROJECT_CONFIG_FILE "${CMAKE_CURRENT_SOURCE_DIR}/CPackGenerator.cmake")

# Debian
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE "${TI_PACKAGE_RELEASE}")
set(CPACK_DEBIAN_PACKAGE_SECTION "admin")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
# Programs it starts rather than links: pkexec for the helper, polkitd that answers it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "pkexec, polkitd")

# RPM (Fedora, openSUSE)
set(CPACK_RPM_FILE_NAME RPM-DEFAULT)
set(CPACK_RPM_PACKAGE_RELEASE "${TI_PACKAGE_RELEASE}")
set(CPACK_RPM_PACKAGE_RELEASE_DIST ON)
set(CPACK_RPM_PACKAGE_LICENSE "LicenseRef-Brightmoor-proprietary")
set(CPACK_RPM_PACKAGE_GROUP "Applications/System")
set(CPACK_RPM_PACKAGE_URL "${TI_HOMEPAGE_URL}")
set(CPACK_RPM_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_RPM_SPEC_MORE_DEFINE "%define packager ${TI_PACKAGE_MAINTAINER}")  # the Packager tag
set(CPACK_RPM_PACKAGE_AUTOREQ ON)  # the libraries, found by rpm's own dependency generator
set(CPACK_RPM_PACKAGE_AUTOPROV OFF)  # it offers no library to others
set(CPACK_RPM_PACKAGE_RELOCATABLE OFF)  # the polkit action and the desktop entry name /usr paths
set(CPACK_RPM_PACKAGE_REQUIRES "polkit")  # pkexec and polkitd on Fedora and openSUSE
set(CPACK_RPM_POST_INSTALL_SCRIPT_FILE "${CMAKE_CURRENT_SOURCE_DIR}/rpm/refresh-desktop-database.sh")
set(CPACK_RPM_POST_UNINSTALL_SCRIPT_FILE "${CMAKE_CURRENT_SOURCE_DIR}/rpm/refresh-desktop-database.sh")
# Folders that the distribution's own packages own; the package claims only what it adds.
set(CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION
    /usr/share/applications /usr/share/man /usr/share/man/man1 /usr/share/polkit-1 /usr/share/polkit-1/actions /usr/share/metainfo /usr/share/icons
    /usr/share/icons/hicolor /usr/share/icons/hicolor/scalable /usr/share/icons/hicolor/scalable/apps)
set(TI_RPM_CHANGELOG "${CMAKE_CURRENT_BINARY_DIR}/docs/changelog.rpm")
include("${CMAKE_CURRENT_SOURCE_DIR}/RpmChangelog.cmake")
ti_rpm_changelog("${ti_docs}/changelog.Debian" "${TI_RPM_CHANGELOG}")
set(CPACK_RPM_CHANGELOG_FILE "${TI_RPM_CHANGELOG}")

include(CPack)
