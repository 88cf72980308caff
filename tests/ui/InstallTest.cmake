# Installs the build into a scratch prefix and checks what a desktop needs from it: the program,
# its help document where the program looks for it, the menu entry, the icon and the AppStream
# metainfo.
#   cmake -DBUILD_DIR=... -DSCRATCH=... -P InstallTest.cmake
file(REMOVE_RECURSE "${SCRATCH}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${SCRATCH}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${result}")
endif()

foreach(installed bin/vantorix share/vantorix/help/index.html share/applications/vantorix.desktop
                  share/icons/hicolor/scalable/apps/vantorix.svg share/metainfo/org.vantorix.Vantorix.metainfo.xml)
    if(NOT EXISTS "${SCRATCH}/${installed}")
        message(FATAL_ERROR "not installed: ${installed}")
    endif()
endforeach()

file(READ "${SCRATCH}/share/applications/vantorix.desktop" entry)
foreach(expected "\nExec=vantorix %F\n" "\nIcon=vantorix\n" "\nType=Application\n" "MimeType=.*video/mp4;"
                 "MimeType=.*video/x-msvideo;" "MimeType=.*audio/mpeg;" "MimeType=.*audio/x-wav;")
    if(NOT entry MATCHES "${expected}")
        message(FATAL_ERROR "vantorix.desktop lacks ${expected}")
    endif()
endforeach()

find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
if(DESKTOP_FILE_VALIDATE)
    execute_process(COMMAND "${DESKTOP_FILE_VALIDATE}" "${SCRATCH}/share/applications/vantorix.desktop"
                    RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "vantorix.desktop is not a valid desktop entry")
    endif()
endif()
find_program(APPSTREAMCLI appstreamcli)
if(APPSTREAMCLI)
    execute_process(COMMAND "${APPSTREAMCLI}" validate --no-net
                            "${SCRATCH}/share/metainfo/org.vantorix.Vantorix.metainfo.xml" RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "the AppStream metainfo does not validate")
    endif()
endif()
file(REMOVE_RECURSE "${SCRATCH}")
