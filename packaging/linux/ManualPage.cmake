# cmake -P: writes tiny-installer.1.gz from the program's own --help and --version (help2man),
# with the settings table of the README and the exit statuses of src/shell/ExitStatus.h.
#
#   -DPROGRAM=<installer executable> -DSOURCE_DIR=<top source folder> -DINCLUDE_IN=<.h2m.in>
#   -DOUTPUT_DIR=<folder> -DNAME=<one-line description> plus the @names@ that INCLUDE_IN uses
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
    endif()
    string(REPLACE "\\" "\\e" meaning "${meaning}")
    string(REPLACE "-" "\\-" meaning "${meaning}")
    string(APPEND TI_EXIT_STATUSES_ROFF ".TP\n\\fB${number}\\fR\n${meaning}\n")
endforeach()
if(NOT numbers)
    message(FATAL_ERROR "no exit status found in src/shell/ExitStatus.h")
endif()
# docs/exit-statuses.md tells administrators the same statuses: it may name no other, and miss none.
if(EXISTS "${SOURCE_DIR}/docs/exit-statuses.md")
    file(READ "${SOURCE_DIR}/docs/exit-statuses.md" statuses)
    string(REGEX MATCHALL "\n\\| *`?[0-9]+" documented "${statuses}")
    string(REGEX REPLACE "[^0-9;]" "" documented "${documented}")
    list(FILTER numbers EXCLUDE REGEX "^(1[2-9][0-9]|[2-9][0-9][0-9])$")  # 128 + a signal: told as a rule
    list(FILTER documented EXCLUDE REGEX "^(1[2-9][0-9]|[2-9][0-9][0-9])$")
    list(REMOVE_DUPLICATES documented)
    list(SORT numbers COMPARE NATURAL)
    list(SORT documented COMPARE NATURAL)
    if(NOT numbers STREQUAL documented)
        message(FATAL_ERROR "docs/exit-statuses.md lists the statuses ${documented}, src/shell/ExitStatus.h ${numbers}")
    endif()
endif()
configure_file("${INCLUDE_IN}" "${OUTPUT_DIR}/tiny-installer.h2m" @ONLY)

# help2man names the page after the program it runs: a link called tiny-installer, as installed.
file(CREATE_LINK "${PROGRAM}" "${OUTPUT_DIR}/tiny-installer" SYMBOLIC)
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
