# Installs the project into a scratch folder (cmake --install) and checks that a desktop gets
# everything it needs: the program, the desktop entry under the name the program announces, the
# icons it names, the metainfo that launches it, and the bridge's udev rule.
#   cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DDEST=... -P CheckInstallTree.cmake
file(REMOVE_RECURSE "${DEST}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${DEST}"
                RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${errors}")
endif()

function(expect_file path)
    if(NOT EXISTS "${DEST}/${path}")
        message(FATAL_ERROR "missing from the install tree: ${path}")
    endif()
endfunction()

# The desktop entry's name is the one the program gives the desktop (setDesktopFileName).
file(READ "${SOURCE_DIR}/app/AppText.h" app_text)
string(REGEX MATCH "DesktopFileName = \"([^\"]+)\"" _ "${app_text}")
set(app_id "${CMAKE_MATCH_1}")
if(app_id STREQUAL "")
    message(FATAL_ERROR "no DesktopFileName in app/AppText.h")
endif()

expect_file(bin/kestrun)
expect_file(share/applications/${app_id}.desktop)
expect_file(share/metainfo/${app_id}.metainfo.xml)
foreach(size 16 32 48 128)
    expect_file(share/icons/hicolor/${size}x${size}/apps/${app_id}.png)
endforeach()
expect_file(share/icons/hicolor/scalable/apps/${app_id}.svg)

file(READ "${DEST}/share/applications/${app_id}.desktop" desktop)
if(NOT desktop MATCHES "\nIcon=${app_id}\n" OR NOT desktop MATCHES "\nExec=kestrun[ \n]")
    message(FATAL_ERROR "the desktop entry names another icon or program:\n${desktop}")
endif()
file(READ "${DEST}/share/metainfo/${app_id}.metainfo.xml" metainfo)
if(NOT metainfo MATCHES "<id>${app_id}</id>"
   OR NOT metainfo MATCHES "<launchable type=\"desktop-id\">${app_id}.desktop</launchable>")
    message(FATAL_ERROR "the metainfo does not launch ${app_id}.desktop")
endif()

# Each PNG is the size its folder says.
foreach(size 16 32 48 128)
    file(READ "${DEST}/share/icons/hicolor/${size}x${size}/apps/${app_id}.png" png HEX LIMIT 24)
    string(SUBSTRING "${png}" 32 16 dimensions)
    string(SUBSTRING "${dimensions}" 0 8 width_hex)
    string(SUBSTRING "${dimensions}" 8 8 height_hex)
    math(EXPR width "0x${width_hex}")
    math(EXPR height "0x${height_hex}")
    if(NOT width EQUAL size OR NOT height EQUAL size)
        message(FATAL_ERROR "the ${size} px icon is ${width} x ${height}")
    endif()
endforeach()

# The udev rule: where udev reads rules under the prefix, giving access to the seat's user
# only, never to everybody.
file(GLOB rules "${DEST}/lib/udev/rules.d/*.rules")
if(NOT rules)
    message(FATAL_ERROR "no udev rule under lib/udev/rules.d")
endif()
foreach(rule ${rules})
    file(STRINGS "${rule}" lines REGEX "^[^#]")
    string(JOIN "\n" text ${lines})
    if(NOT text MATCHES "TAG\\+=\"uaccess\"" OR text MATCHES "MODE=\"0666\"")
        message(FATAL_ERROR "${rule} does not give access through uaccess alone")
    endif()
endforeach()
message(STATUS "install tree complete: ${DEST}")
