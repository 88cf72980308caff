# Installs the build into a scratch prefix and checks what a desktop needs from it: the programs,
# the help document where the program looks for it, the menu entry, the icon, the AppStream
# metainfo, the command line's manual page and its bash completion.
#   cmake -DBUILD_DIR=... -DSCRATCH=... -P InstallTest.cmake
file(REMOVE_RECURSE "${SCRATCH}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${SCRATCH}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${result}")
endif()

foreach(installed bin/vantorix bin/vantorix-cli share/vantorix/help/index.html share/applications/vantorix.desktop
                  share/icons/hicolor/scalable/apps/vantorix.svg share/metainfo/org.vantorix.Vantorix.metainfo.xml
                  share/man/man1/vantorix-cli.1 share/bash-completion/completions/vantorix-cli)
    if(NOT EXISTS "${SCRATCH}/${installed}")
        message(FATAL_ERROR "not installed: ${installed}")
    endif()
endforeach()

file(READ "${SCRATCH}/share/applications/vantorix.desktop" entry)
# The types of the files the engine reads, the common ones and those easily forgotten.
foreach(expected "\nExec=vantorix %F\n" "\nIcon=vantorix\n" "\nType=Application\n" "MimeType=.*video/mp4;"
                 "MimeType=.*video/x-msvideo;" "MimeType=.*video/x-matroska;" "MimeType=.*video/webm;"
                 "MimeType=.*video/mp2t;" "MimeType=.*audio/mpeg;" "MimeType=.*audio/x-wav;"
                 "MimeType=.*audio/flac;" "MimeType=.*audio/x-opus\\+ogg;")
    if(NOT entry MATCHES "${expected}")
        message(FATAL_ERROR "vantorix.desktop lacks ${expected}")
    endif()
endforeach()

# The validators come with tools/setup.sh; a missing one fails rather than passing unchecked.
find_program(DESKTOP_FILE_VALIDATE desktop-file-validate REQUIRED)
execute_process(COMMAND "${DESKTOP_FILE_VALIDATE}" "${SCRATCH}/share/applications/vantorix.desktop"
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "vantorix.desktop is not a valid desktop entry")
endif()
find_program(APPSTREAMCLI appstreamcli REQUIRED)
execute_process(COMMAND "${APPSTREAMCLI}" validate --no-net
                        "${SCRATCH}/share/metainfo/org.vantorix.Vantorix.metainfo.xml" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "the AppStream metainfo does not validate")
endif()

# The manual page formats without a warning.
find_program(GROFF groff REQUIRED)
execute_process(COMMAND "${GROFF}" -man -ww -z "${SCRATCH}/share/man/man1/vantorix-cli.1"
                RESULT_VARIABLE result ERROR_VARIABLE warnings)
if(NOT result EQUAL 0 OR NOT warnings STREQUAL "")
    message(FATAL_ERROR "the manual page does not format cleanly: ${warnings}")
endif()

# The installed completion, asked as bash asks it: words typed so far, and what it offers.
file(MAKE_DIRECTORY "${SCRATCH}/words/out")
file(TOUCH "${SCRATCH}/words/clip.avi")
# Each case: the words typed so far, separated by commas, and what is offered for the last one.
set(completion_cases
    "vantorix-cli,fo|formats"
    "vantorix-cli,convert,--ov|--overwrite"
    "vantorix-cli,convert,-o,o|out"
    "vantorix-cli,convert,--set,Sa|Sampling\\ Rate="
    "vantorix-cli,convert,--set,Audio\\ C|Audio\\ Codec= Audio\\ Channels="
    "vantorix-cli,convert,--set,\"Audio C|\"Audio Codec= \"Audio Channels="
    "vantorix-cli,thumbnail,c|clip.avi")
foreach(case IN LISTS completion_cases)
    string(REPLACE "|" ";" case "${case}")
    list(GET case 0 words)
    list(GET case 1 offered)
    string(REPLACE "," ";" words "${words}")
    execute_process(COMMAND bash -c [[source "$1"; COMP_WORDS=("${@:2}"); COMP_CWORD=$(($# - 2))
                                     _vantorix_cli; echo -n "${COMPREPLY[*]}"]]
                            bash "${SCRATCH}/share/bash-completion/completions/vantorix-cli" ${words}
                    WORKING_DIRECTORY "${SCRATCH}/words" OUTPUT_VARIABLE reply RESULT_VARIABLE result)
    if(NOT result EQUAL 0 OR NOT reply STREQUAL offered)
        message(FATAL_ERROR "completing \"${words}\" offered \"${reply}\", not \"${offered}\"")
    endif()
endforeach()
file(REMOVE_RECURSE "${SCRATCH}")
