# The Windows build's runnable folder, build-win/run: both programs with every DLL and plugin
# they load beside them, Kestrun's notice, the third-party notices and the licence texts. The zip
# is this folder; the installer installs exactly it.
set(KESTRUN_RUN_DIR ${PROJECT_BINARY_DIR}/run)

# The MinGW runtime the compiler links against lies in the sysroot's bin/ (or MSYS2's).
set(runtime_dlls)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    find_file(dll_${dll} ${dll} PATH_SUFFIXES bin NO_CACHE REQUIRED)
    list(APPEND runtime_dlls ${dll_${dll}})
endforeach()

set(run_programs $<TARGET_FILE:kestrun-cli>)
set(run_libraries ${runtime_dlls} $<TARGET_FILE:hidapi::winapi>)
set(run_depends kestrun-cli)
if(KESTRUN_WITH_QT)
    list(APPEND run_programs $<TARGET_FILE:kestrun>)
    list(APPEND run_libraries $<TARGET_FILE:Qt6::Core> $<TARGET_FILE:Qt6::Gui>
         $<TARGET_FILE:Qt6::Widgets>)
    list(APPEND run_depends kestrun)
endif()

add_custom_target(run-folder ALL
    COMMAND ${CMAKE_COMMAND} -E make_directory ${KESTRUN_RUN_DIR}/licenses
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${run_programs} ${run_libraries}
            ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/THIRD-PARTY-NOTICES
            ${KESTRUN_RUN_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${KESTRUN_LICENCE_DIR}
            ${KESTRUN_RUN_DIR}/licenses
    DEPENDS ${run_depends}
    COMMENT "Laying out the runnable folder ${KESTRUN_RUN_DIR}"
    VERBATIM)
if(KESTRUN_WITH_QT)
    # The platform plugin is a must; the style plugin gives the native look.
    add_custom_command(TARGET run-folder POST_BUILD
        COMMAND ${CMAKE_COMMAND} -E make_directory ${KESTRUN_RUN_DIR}/platforms
                ${KESTRUN_RUN_DIR}/styles
        COMMAND ${CMAKE_COMMAND} -E copy_if_different
                $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> ${KESTRUN_RUN_DIR}/platforms
        COMMAND ${CMAKE_COMMAND} -E copy_if_different
                $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin> ${KESTRUN_RUN_DIR}/styles
        VERBATIM)
endif()

# make windows-package: the zip of the folder and the NSIS installer that installs it.
set(package_name kestrun-${PROJECT_VERSION})
find_program(MAKENSIS makensis)
add_custom_target(windows-package
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${PROJECT_BINARY_DIR}/${package_name}-win64
            ${PROJECT_BINARY_DIR}/${package_name}-win64.zip
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${KESTRUN_RUN_DIR}
            ${PROJECT_BINARY_DIR}/${package_name}-win64
    COMMAND ${CMAKE_COMMAND} -E tar cf ${package_name}-win64.zip --format=zip
            ${package_name}-win64
    COMMAND ${MAKENSIS} -V2 -DVERSION=${PROJECT_VERSION} -DRUNDIR=${KESTRUN_RUN_DIR}
            -DICON=${PROJECT_SOURCE_DIR}/packaging/icons/kestrun.ico
            -DOUTFILE=${PROJECT_BINARY_DIR}/${package_name}-setup.exe
            ${CMAKE_CURRENT_LIST_DIR}/kestrun.nsi
    WORKING_DIRECTORY ${PROJECT_BINARY_DIR}
    DEPENDS run-folder
    COMMENT "Packing ${package_name}-win64.zip and ${package_name}-setup.exe"
    VERBATIM)
