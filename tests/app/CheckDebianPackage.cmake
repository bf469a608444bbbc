# Builds the Debian package from the configured build (cpack -G DEB into a scratch folder) and
# checks with dpkg that it carries the programs, their manual pages, the copyright file and the
# changelog, the desktop entry, the icons, the metainfo and the udev rule where udev reads it,
# and that dpkg-shlibdeps filled in its dependencies. Then lintian, Debian's own checker, must
# find no error and no warning in it (skipped where LINTIAN is empty).
#   cmake -DCPACK=... -DBUILD_DIR=... -DDEST=... [-DLINTIAN=...] -P CheckDebianPackage.cmake
file(REMOVE_RECURSE "${DEST}")
execute_process(COMMAND "${CPACK}" --config "${BUILD_DIR}/CPackConfig.cmake" -G DEB -B "${DEST}"
                RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cpack failed:\n${output}")
endif()
file(GLOB debs "${DEST}/*.deb")
list(LENGTH debs count)
if(NOT count EQUAL 1)
    message(FATAL_ERROR "expected one .deb in ${DEST}, found: ${debs}")
endif()

execute_process(COMMAND dpkg -c "${debs}" OUTPUT_VARIABLE contents RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "dpkg -c cannot read ${debs}")
endif()
foreach(path
        ./usr/bin/kestrun
        ./usr/bin/kestrun-cli
        ./usr/share/man/man1/kestrun.1.gz
        ./usr/share/man/man1/kestrun-cli.1.gz
        ./usr/share/doc/kestrun/copyright
        ./usr/share/doc/kestrun/changelog.gz
        ./usr/share/doc/kestrun/THIRD-PARTY-NOTICES
        ./usr/share/applications/org.kestrun.Kestrun.desktop
        ./usr/share/metainfo/org.kestrun.Kestrun.metainfo.xml
        ./usr/share/icons/hicolor/16x16/apps/org.kestrun.Kestrun.png
        ./usr/share/icons/hicolor/32x32/apps/org.kestrun.Kestrun.png
        ./usr/share/icons/hicolor/48x48/apps/org.kestrun.Kestrun.png
        ./usr/share/icons/hicolor/128x128/apps/org.kestrun.Kestrun.png
        ./usr/share/icons/hicolor/scalable/apps/org.kestrun.Kestrun.svg)
    string(FIND "${contents}" " ${path}\n" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "${path} is not in the package:\n${contents}")
    endif()
endforeach()
if(NOT contents MATCHES " \\./usr/lib/udev/rules\\.d/[^/\n]+\\.rules\n")
    message(FATAL_ERROR "no udev rule in /usr/lib/udev/rules.d:\n${contents}")
endif()

execute_process(COMMAND dpkg -f "${debs}" Depends OUTPUT_VARIABLE depends)
if(NOT depends MATCHES "libqt6widgets6" OR NOT depends MATCHES "libhidapi-hidraw0")
    message(FATAL_ERROR "dpkg-shlibdeps did not fill in the dependencies: ${depends}")
endif()

if(LINTIAN)
    execute_process(COMMAND "${LINTIAN}" "${debs}" OUTPUT_VARIABLE findings ERROR_VARIABLE findings)
    if(findings MATCHES "(^|\n)[EW]: ")
        message(FATAL_ERROR "lintian finds errors or warnings in ${debs}:\n${findings}")
    endif()
endif()
message(STATUS "package complete: ${debs}")
