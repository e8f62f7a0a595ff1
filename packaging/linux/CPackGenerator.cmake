# Read by cpack for each generator (CPACK_PROJECT_CONFIG_FILE).

# The files' times in the archives: the packaged commit's, unless the caller chose one.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH} AND NOT CPACK_TI_SOURCE_DATE_EPOCH STREQUAL "")
    set(ENV{SOURCE_DATE_EPOCH} "${CPACK_TI_SOURCE_DATE_EPOCH}")
endif()

if(CPACK_GENERATOR STREQUAL "RPM")
    # Debian's changelog name and lintian's overrides stay out; rpm has no debuginfo extraction on
    # a Debian machine, so the programs are stripped here. They keep their build ids, which are
    # the same as in the .deb made from this build: its -dbgsym package symbolises both.
    list(GET CPACK_INSTALL_CMAKE_PROJECTS 0 ti_build)
    list(GET CPACK_INSTALL_CMAKE_PROJECTS 1 ti_project)
    set(CPACK_INSTALL_CMAKE_PROJECTS "${ti_build};${ti_project};installer;/")
    set(CPACK_STRIP_FILES ON)
endif()
