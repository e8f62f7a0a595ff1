# Run by CPack once the packages are made (CPACK_POST_BUILD_SCRIPTS). CPack 3.25 writes the -dbgsym
# package's md5sums with the absolute paths of its staging folder: `dpkg --verify` then finds none
# of its files, and two builds in two folders differ. The list is written again with the paths as
# installed, and the package made again by dpkg-deb (its times from SOURCE_DATE_EPOCH).
foreach(ti_ddeb IN LISTS CPACK_PACKAGE_FILES)
    if(NOT ti_ddeb MATCHES "\\.ddeb$")
        continue()
    endif()
    set(ti_tree "${ti_ddeb}.tree")
    file(REMOVE_RECURSE "${ti_tree}")
    execute_process(COMMAND dpkg-deb --raw-extract "${ti_ddeb}" "${ti_tree}" RESULT_VARIABLE ti_status)
    if(NOT ti_status EQUAL 0)
        message(FATAL_ERROR "tiny-installer: dpkg-deb could not open ${ti_ddeb}")
    endif()
    file(STRINGS "${ti_tree}/DEBIAN/md5sums" ti_sums)
    set(ti_fixed "")
    foreach(ti_line IN LISTS ti_sums)
        string(REGEX REPLACE "^([0-9a-f]+  ).*-dbgsym/(usr/lib/debug/)" "\\1\\2" ti_line "${ti_line}")
        string(APPEND ti_fixed "${ti_line}\n")
    endforeach()
    file(WRITE "${ti_tree}/DEBIAN/md5sums" "${ti_fixed}")
    execute_process(COMMAND dpkg-deb --root-owner-group -Zxz --build "${ti_tree}" "${ti_ddeb}"
                    RESULT_VARIABLE ti_status OUTPUT_QUIET)
    file(REMOVE_RECURSE "${ti_tree}")
    if(NOT ti_status EQUAL 0)
        message(FATAL_ERROR "tiny-installer: dpkg-deb could not make ${ti_ddeb} again")
    endif()
endforeach()
