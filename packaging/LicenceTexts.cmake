# The full licence texts that travel with the programs (the Windows folder's licenses/ and the
# About box's Licences), gathered at configure time into ${KESTRUN_LICENCE_DIR}: the texts kept in
# packaging/licenses/, and the GPL, the LGPLs and the GCC runtime exception taken as they stand from
# the system's own copies, so they are never retyped or kept twice.
set(KESTRUN_LICENCE_DIR ${PROJECT_BINARY_DIR}/licenses)
file(REMOVE_RECURSE ${KESTRUN_LICENCE_DIR})
file(GLOB kept_texts ${PROJECT_SOURCE_DIR}/packaging/licenses/*.txt)
file(COPY ${kept_texts} DESTINATION ${KESTRUN_LICENCE_DIR})

foreach(name GPL-3 LGPL-3 LGPL-2.1)
    if(EXISTS /usr/share/common-licenses/${name})
        configure_file(/usr/share/common-licenses/${name} ${KESTRUN_LICENCE_DIR}/${name}.txt
                       COPYONLY)
    else()
        message(WARNING "/usr/share/common-licenses/${name} is missing: ${name}.txt not shipped")
    endif()
endforeach()

# The exception is a paragraph of the runtime's Debian copyright file.
set(gcc_copyright /usr/share/doc/gcc-mingw-w64-base/copyright)
if(NOT EXISTS ${gcc_copyright})
    set(gcc_copyright /usr/share/doc/gcc-12-base/copyright)
endif()
if(EXISTS ${gcc_copyright})
    file(READ ${gcc_copyright} copyright)
    string(FIND "${copyright}" "GCC RUNTIME LIBRARY EXCEPTION\n" first)
    string(FIND "${copyright}" "requirements of the license of GCC.\n" last)
    if(first GREATER_EQUAL 0 AND last GREATER first)
        math(EXPR length "${last} + 36 - ${first}")
        string(SUBSTRING "${copyright}" ${first} ${length} exception)
        file(WRITE ${KESTRUN_LICENCE_DIR}/GCC-Runtime-Library-Exception-3.1.txt
             "GCC Runtime Library Exception, version 3.1\n"
             "==========================================\n"
             "(from ${gcc_copyright})\n\n${exception}")
    endif()
endif()
file(GLOB KESTRUN_LICENCE_TEXTS ${KESTRUN_LICENCE_DIR}/*.txt)
