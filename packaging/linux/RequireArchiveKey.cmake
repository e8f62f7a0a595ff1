# Run by CPack once the package's files are staged: the installed Info.plist must carry the
# maker's archive key ("kQSArchivePublicKey"), or the placement helper in the package would refuse
# every archive.
file(GLOB_RECURSE ti_plists "${CPACK_TEMPORARY_DIRECTORY}/*.plist")
list(FILTER ti_plists INCLUDE REGEX "\\.app/Contents/Info\\.plist$")
set(ti_signed FALSE)
foreach(ti_plist IN LISTS ti_plists)
    file(READ "${ti_plist}" ti_text)
    if(ti_text MATCHES "<key>kQSArchivePublicKey</key>[ \t\r\n]*<string>RW")
        set(ti_signed TRUE)
    endif()
endforeach()
if(NOT ti_plists OR NOT ti_signed)
    message(FATAL_ERROR
        "tiny-installer: the package needs the maker's archive key. Configure the build with "
        "-DTI_ARCHIVE_PUBLIC_KEY_FILE=<minisign .pub file> (or -DTI_ARCHIVE_PUBLIC_KEY=RW...), or run cpack "
        "with the environment variable TI_ARCHIVE_PUBLIC_KEY_FILE set; no package was made.")
endif()
