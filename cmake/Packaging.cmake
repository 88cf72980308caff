# The Debian package: `cpack -G DEB` in a build tree (an optimised one for shipping, see
# README.md) writes vantorix_<version>_<arch>.deb with what `cmake --install` installs.
#
# The programs open FFmpeg's libraries and SDL2 with dlopen, so no tool can find them among the
# programs' needs: they are named here, by the major versions of the headers that the programs
# were built with, which are the versions the loader asks for at run time. The same goes for Qt's
# platform plugins, which Qt loads at run time. Qt's libraries are named as well, so that the
# package is whole without dpkg-shlibdeps; where that is installed (dpkg-dev, part of
# build-essential) it adds what the programs link besides (the C and C++ libraries, X, OpenGL).

function(vantorix_header_major header macro out)
    file(STRINGS "${header}" _line REGEX "#define[ \t]+${macro}[ \t]")
    string(REGEX MATCH "[0-9]+[ \t]*$" _major "${_line}")
    string(STRIP "${_major}" _major)
    if(_major STREQUAL "")
        message(FATAL_ERROR "no ${macro} in ${header}")
    endif()
    set(${out} ${_major} PARENT_SCOPE)
endfunction()

# Package name stem, header, version macro.
set(_vantorix_media_libraries
    "libavcodec|libavcodec/version_major.h|LIBAVCODEC_VERSION_MAJOR"
    "libavdevice|libavdevice/version_major.h|LIBAVDEVICE_VERSION_MAJOR"
    "libavfilter|libavfilter/version_major.h|LIBAVFILTER_VERSION_MAJOR"
    "libavformat|libavformat/version_major.h|LIBAVFORMAT_VERSION_MAJOR"
    "libavutil|libavutil/version.h|LIBAVUTIL_VERSION_MAJOR"
    "libswscale|libswscale/version_major.h|LIBSWSCALE_VERSION_MAJOR"
    "libswresample|libswresample/version_major.h|LIBSWRESAMPLE_VERSION_MAJOR")

# Debian's FFmpeg packages carry the epoch 7; the release is that of the headers ("5.1").
file(STRINGS "${FFMPEG_INCLUDE_DIR}/libavutil/ffversion.h" _ffversion REGEX "FFMPEG_VERSION")
string(REGEX MATCH "\"[0-9]+\\.[0-9]+" _ffrelease "${_ffversion}")
string(SUBSTRING "${_ffrelease}" 1 -1 _ffrelease)

set(_depends)
foreach(_entry IN LISTS _vantorix_media_libraries)
    string(REPLACE "|" ";" _entry "${_entry}")
    list(GET _entry 0 _stem)
    list(GET _entry 1 _header)
    list(GET _entry 2 _macro)
    vantorix_header_major("${FFMPEG_INCLUDE_DIR}/${_header}" ${_macro} _major)
    # The "-extra" builds of the codec and filter libraries provide these names too.
    list(APPEND _depends "${_stem}${_major} (>= 7:${_ffrelease})")
endforeach()

vantorix_header_major("${SDL2_INCLUDE_DIR}/SDL2/SDL_version.h" SDL_MINOR_VERSION _sdl_minor)
list(APPEND _depends "libsdl2-2.0-0 (>= 2.${_sdl_minor})")

set(_qt_version "${Qt6Core_VERSION_MAJOR}.${Qt6Core_VERSION_MINOR}")
foreach(_qt core6 gui6 widgets6 dbus6)
    list(APPEND _depends "libqt6${_qt} (>= ${_qt_version})")
endforeach()
list(APPEND _depends "qt6-qpa-plugins (>= ${_qt_version})")
list(JOIN _depends ", " CPACK_DEBIAN_PACKAGE_DEPENDS)

set(CPACK_PACKAGE_NAME vantorix)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Vantorix)
set(CPACK_PACKAGE_CONTACT "Vantorix <${VANTORIX_SUPPORT_MAIL}>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "batch converter for video and audio files")
set(CPACK_PACKAGE_DESCRIPTION
    "Vantorix converts lists of video and audio files into formats for players, phones and the\n"
    "web, one after the other, with a preview of each source. vantorix-cli offers the same\n"
    "formats and conversions on the command line.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${VANTORIX_WEB_PAGE}")
find_program(VANTORIX_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(VANTORIX_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
set(CPACK_GENERATOR DEB)
include(CPack)
