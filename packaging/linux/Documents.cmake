# What distributions expect beside the programs: the copyright and changelog, the manual page,
# the AppStream description and icon for software centres, and lintian's overrides. Included by
# CMakeLists.txt in this folder, after the names (TI_PRODUCT_NAME ...) are known.

# The maker's packaging address: the Maintainer of the .deb, the Packager of the RPM, the contact
# of the copyright file and the changelog's signature.
set(TI_PACKAGE_MAINTAINER "${TI_VENDOR_NAME} <packages@brightmoor.example>" CACHE STRING
    "Who makes the packages, as 'Name <address>'")
if(NOT TI_PACKAGE_MAINTAINER MATCHES "^[^<>@]+ <[^<>@ ]+@[^<>@ ]+\\.[^<>@ .]+>$")
    message(FATAL_ERROR "TI_PACKAGE_MAINTAINER '${TI_PACKAGE_MAINTAINER}' is not 'Name <user@host.domain>'")
endif()
set(TI_PACKAGE_RELEASE "1" CACHE STRING "The packages' own revision of this version (the Debian revision, the RPM release)")
set(TI_HOMEPAGE_URL "https://www.brightmoor.example/corvala" CACHE STRING "The product's web page, in the packages and for software centres")
set(TI_SCREENSHOT_URL "https://www.brightmoor.example/corvala/tiny-installer/welcome.png" CACHE STRING
    "Where the maker publishes packaging/linux/screenshots/welcome.png, for software centres")
set(TI_APPSTREAM_ID "${TI_BUNDLE_IDENTIFIER}")

# The day of the packaged commit (SOURCE_DATE_EPOCH when given, else the commit's own time), so
# that two builds of one commit write the same pages and packages.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(TI_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
else()
    execute_process(COMMAND git -C "${CMAKE_SOURCE_DIR}" log -1 --format=%ct
                    OUTPUT_VARIABLE TI_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
if(NOT TI_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
    set(TI_SOURCE_DATE_EPOCH 0)  # not a git checkout and no SOURCE_DATE_EPOCH: a fixed date all the same
endif()
execute_process(COMMAND date -u -d "@${TI_SOURCE_DATE_EPOCH}" +%Y-%m-%d OUTPUT_VARIABLE TI_RELEASE_DATE
                OUTPUT_STRIP_TRAILING_WHITESPACE)

# The changelog's newest entry must be the version being packaged.
file(STRINGS debian/changelog.in ti_changelog_head LIMIT_COUNT 1)
if(NOT ti_changelog_head MATCHES "^tiny-installer \\(${PROJECT_VERSION}-${TI_PACKAGE_RELEASE}\\) ")
    message(FATAL_ERROR "packaging/linux/debian/changelog.in starts with '${ti_changelog_head}', "
                        "not version ${PROJECT_VERSION}-${TI_PACKAGE_RELEASE}: add an entry for it")
endif()

set(ti_docs "${CMAKE_CURRENT_BINARY_DIR}/docs")
configure_file(debian/copyright.in "${ti_docs}/copyright" @ONLY)
configure_file(debian/changelog.in "${ti_docs}/changelog.Debian" @ONLY)
# The screenshot's size, from its PNG header (width and height, 4 bytes each, at byte 16).
file(READ screenshots/welcome.png ti_png_size OFFSET 16 LIMIT 8 HEX)
string(SUBSTRING "${ti_png_size}" 0 8 ti_w)
string(SUBSTRING "${ti_png_size}" 8 8 ti_h)
math(EXPR TI_SCREENSHOT_WIDTH "0x${ti_w}")
math(EXPR TI_SCREENSHOT_HEIGHT "0x${ti_h}")
configure_file(tiny-installer.metainfo.xml.in "${ti_docs}/${TI_APPSTREAM_ID}.metainfo.xml" @ONLY)

add_custom_command(OUTPUT "${ti_docs}/changelog.Debian.gz"
    COMMAND gzip -9nkf "${ti_docs}/changelog.Debian"
    DEPENDS "${ti_docs}/changelog.Debian"
    COMMENT "Compressing the package's changelog" VERBATIM)
# The page's exit statuses come from the code (ExitStatus.h); docs/exit-statuses.md must agree.
set(ti_exit_statuses "${CMAKE_SOURCE_DIR}/src/shell/ExitStatus.h")
if(EXISTS "${CMAKE_SOURCE_DIR}/docs/exit-statuses.md")
    list(APPEND ti_exit_statuses "${CMAKE_SOURCE_DIR}/docs/exit-statuses.md")
endif()
add_custom_command(OUTPUT "${ti_docs}/tiny-installer.1.gz"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${ti_docs}"
    COMMAND "${CMAKE_COMMAND}" -E env "SOURCE_DATE_EPOCH=${TI_SOURCE_DATE_EPOCH}"
            "${CMAKE_COMMAND}" "-DPROGRAM=$<TARGET_FILE:TinyInstaller>" "-DSOURCE_DIR=${CMAKE_SOURCE_DIR}"
            "-DINCLUDE_IN=${CMAKE_CURRENT_SOURCE_DIR}/tiny-installer.h2m.in" "-DOUTPUT_DIR=${ti_docs}"
            "-DNAME=install ${TI_PRODUCT_NAME} by ${TI_VENDOR_NAME}" "-DTI_PRODUCT_NAME=${TI_PRODUCT_NAME}"
            "-DTI_VENDOR_NAME=${TI_VENDOR_NAME}" "-DTI_URL_SCHEME=${TI_URL_SCHEME}" "-DTI_BUNDLE_ID=${TI_BUNDLE_IDENTIFIER}"
            -P "${CMAKE_CURRENT_SOURCE_DIR}/ManualPage.cmake"
    DEPENDS TinyInstaller ManualPage.cmake MarkdownTable.cmake tiny-installer.h2m.in
            "${CMAKE_SOURCE_DIR}/README.md" ${ti_exit_statuses}
    COMMENT "Writing the manual page tiny-installer(1) from --help" VERBATIM)
add_custom_target(package-documents ALL DEPENDS "${ti_docs}/changelog.Debian.gz" "${ti_docs}/tiny-installer.1.gz")

install(FILES "${ti_docs}/copyright" DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/tiny-installer" COMPONENT installer)
install(FILES "${ti_docs}/tiny-installer.1.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1" COMPONENT installer)
install(FILES "${ti_docs}/${TI_APPSTREAM_ID}.metainfo.xml" DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo" COMPONENT installer)
install(FILES tiny-installer.svg DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps" COMPONENT installer)
# Only the .deb: Debian's changelog name and lintian's overrides (an RPM carries its changelog in
# its header).
install(FILES "${ti_docs}/changelog.Debian.gz" DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/tiny-installer" COMPONENT debian)
install(FILES debian/tiny-installer.lintian-overrides DESTINATION "${CMAKE_INSTALL_DATADIR}/lintian/overrides"
        RENAME tiny-installer COMPONENT debian)
