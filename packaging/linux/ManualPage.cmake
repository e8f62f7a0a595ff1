# cmake -P: writes tiny-installer.1.gz from the program's own --help and --version (help2man),
# with the settings table of the README and the exit statuses of src/shell/ExitStatus.h.
#
#   -DPROGRAM=<installer executable> -DSOURCE_DIR=<top source folder> -DINCLUDE_IN=<.h2m.in>
#   -DOUTPUT_DIR=<folder> -DNAME=<one-line description> plus the @names@ that INCLUDE_IN uses
cmake_minimum_required(VERSION 3.25)
include("${CMAKE_CURRENT_LIST_DIR}/MarkdownTable.cmake")

find_program(HELP2MAN help2man)
find_program(GZIP gzip)
if(NOT HELP2MAN OR NOT GZIP)
    message(FATAL_ERROR "the manual page needs help2man and gzip (Debian packages help2man, gzip)")
endif()

file(READ "${SOURCE_DIR}/README.md" readme)
ti_markdown_table_to_roff("${readme}" "^\\| key \\| where \\| meaning \\|" TI_SETTINGS_ROFF)
# The exit statuses from the code's own list (src/shell/ExitStatus.h: "kExit... = <n>, // <meaning>").
file(STRINGS "${SOURCE_DIR}/src/shell/ExitStatus.h" status_lines REGEX "^ *kExit[A-Za-z]+ = [0-9]+, *//")
set(TI_EXIT_STATUSES_ROFF "")
set(numbers "")
foreach(line IN LISTS status_lines)
    string(REGEX MATCH "= ([0-9]+), *// *(.*)$" _ "${line}")
    set(number "${CMAKE_MATCH_1}")
    set(meaning "${CMAKE_MATCH_2}")
    list(APPEND numbers "${number}")
    if(line MATCHES "^ *kExit[A-Za-z]+Base = ")  # a base: the status is this plus a number
        set(number "${number}+\\fIn\\fR")
        string(REGEX REPLACE "^\\+ *" "ended by signal n: 128 plus " meaning "${meaning}")
    endif()
    string(REPLACE "\\" "\\e" meaning "${meaning}")
    string(REPLACE "-" "\\-" meaning "${meaning}")
    string(APPEND TI_EXIT_STATUSES_ROFF ".TP\n\\fB${number}\\fR\n${meaning}\n")
endforeach()
if(NOT numbers)
    message(FATAL_ERROR "no exit status found in src/shell/ExitStatus.h")
endif()
list(FILTER numbers EXCLUDE REGEX "^(1[2-9][0-9]|[2-9][0-9][0-9])$")  # 128 + a signal: told as a rule
list(SORT numbers COMPARE NATURAL)
# docs/exit-statuses.md tells administrators the same statuses: it may name no other, and miss none.
if(EXISTS "${SOURCE_DIR}/docs/exit-statuses.md")
    file(READ "${SOURCE_DIR}/docs/exit-statuses.md" statuses)
    string(REGEX MATCHALL "\n\\| *`?[0-9]+" documented "${statuses}")
    string(REGEX REPLACE "[^0-9;]" "" documented "${documented}")
    list(FILTER documented INCLUDE REGEX "^[0-9]+$")
    list(FILTER documented EXCLUDE REGEX "^(1[2-9][0-9]|[2-9][0-9][0-9])$")
    list(REMOVE_DUPLICATES documented)
    list(SORT documented COMPARE NATURAL)
    if(NOT numbers STREQUAL documented)
        message(FATAL_ERROR "docs/exit-statuses.md lists the statuses ${documented}, src/shell/ExitStatus.h ${numbers}")
    endif()
endif()
configure_file("${INCLUDE_IN}" "${OUTPUT_DIR}/tiny-installer.h2m" @ONLY)

# --help ends with a short list of the statuses: it must name the same ones as the code. In the page
# the list is the EXIT STATUS section above, so help2man is given --help without it, through a
# wrapper called tiny-installer (help2man names the page after the program it runs).
execute_process(COMMAND "${CMAKE_COMMAND}" -E env QT_QPA_PLATFORM=offscreen "ASAN_OPTIONS=detect_leaks=0" "${PROGRAM}" --help
                OUTPUT_VARIABLE help RESULT_VARIABLE status TIMEOUT 60)
if(NOT status EQUAL 0 OR NOT help MATCHES "\nExit status:\n(.*)$")
    message(FATAL_ERROR "${PROGRAM} --help (${status}) does not end with its exit statuses:\n${help}")
endif()
string(REGEX MATCHALL "(\n  |; )[0-9]+[ +]" listed "\n${CMAKE_MATCH_1}")
string(REGEX REPLACE "[^0-9;]" "" listed "${listed}")
list(FILTER listed INCLUDE REGEX "^[0-9]+$")
list(FILTER listed EXCLUDE REGEX "^(1[2-9][0-9]|[2-9][0-9][0-9])$")
list(SORT listed COMPARE NATURAL)
if(NOT listed STREQUAL numbers)
    message(FATAL_ERROR "--help lists the exit statuses ${listed}, src/shell/ExitStatus.h ${numbers}")
endif()
file(REMOVE "${OUTPUT_DIR}/tiny-installer")  # never written through an older link to the program
file(WRITE "${OUTPUT_DIR}/tiny-installer" "#!/bin/sh
if [ \"$1\" = --help ]; then
    \"${PROGRAM}\" --help | sed '/^Exit status:$/,$d'
else
    exec \"${PROGRAM}\" \"$@\"
fi
")
file(CHMOD "${OUTPUT_DIR}/tiny-installer" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
     WORLD_READ WORLD_EXECUTE)
# The date in the page's footer comes from SOURCE_DATE_EPOCH (help2man reads it), so two builds of
# one commit write the same page; the program prints its help without a display.
execute_process(
    COMMAND "${CMAKE_COMMAND}" -E env QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8 LANGUAGE=
            "ASAN_OPTIONS=detect_leaks=0"
            "${HELP2MAN}" --no-info --section=1 --no-discard-stderr "--name=${NAME}"
            "--include=${OUTPUT_DIR}/tiny-installer.h2m" "--output=${OUTPUT_DIR}/tiny-installer.1"
            "${OUTPUT_DIR}/tiny-installer"
    RESULT_VARIABLE status
    ERROR_VARIABLE errors
    TIMEOUT 60)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "help2man could not read the installer's --help and --version (${status}): ${errors}")
endif()
file(READ "${OUTPUT_DIR}/tiny-installer.1" page)
if(NOT page MATCHES "\\.SH OPTIONS" AND NOT page MATCHES "\\-\\-help")
    message(FATAL_ERROR "the manual page lists no options: does the installer print them with --help?")
endif()
# -n: no name or time in the gzip header.
execute_process(COMMAND "${GZIP}" -9nf "${OUTPUT_DIR}/tiny-installer.1" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip failed on ${OUTPUT_DIR}/tiny-installer.1")
endif()
