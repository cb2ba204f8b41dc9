# Fails when the library would run code of its own at load or thread start:
# - an object of this build contributes a static initialiser (read from the linker's map file;
#   the runtime's own, absolute paths outside the build folder, are not ours);
# - with OBJDUMP and LIBRARY (Windows), the DLL has a TLS directory, which makes the loader refuse
#   DisableThreadLibraryCalls and call the DLL for every thread.
#   cmake -DMAP=... -DBINARY_DIR=... [-DOBJDUMP=... -DLIBRARY=...] -P CheckLoadTime.cmake
cmake_minimum_required(VERSION 3.25)
file(STRINGS ${MAP} lines)
set(offenders "")
set(pending OFF)
foreach(line IN LISTS lines)
    set(entry "")
    if(line MATCHES "^ \\.(ctors|init_array)(\\.[0-9]+)?[ \t]+0x[0-9a-fA-F]+[ \t]+0x([0-9a-fA-F]+)[ \t]+(.+)$")
        set(size "${CMAKE_MATCH_3}")
        set(entry "${CMAKE_MATCH_4}")
    elseif(line MATCHES "^ \\.(ctors|init_array)(\\.[0-9]+)?$")
        # A long section name puts address, size and file on the next line.
        set(pending ON)
        continue()
    elseif(pending AND line MATCHES "^[ \t]+0x[0-9a-fA-F]+[ \t]+0x([0-9a-fA-F]+)[ \t]+(.+)$")
        set(size "${CMAKE_MATCH_1}")
        set(entry "${CMAKE_MATCH_2}")
    endif()
    set(pending OFF)
    if(entry STREQUAL "" OR size MATCHES "^0+$")
        continue()
    endif()
    if(NOT IS_ABSOLUTE "${entry}" OR entry MATCHES "^${BINARY_DIR}/")
        list(APPEND offenders "${entry}")
    endif()
endforeach()
if(offenders)
    list(REMOVE_DUPLICATES offenders)
    string(REPLACE ";" "\n  " o "${offenders}")
    message(FATAL_ERROR "Static initialisers run at load, from:\n  ${o}\n"
                        "Create process-wide objects on first use (function-local statics).")
endif()

if(OBJDUMP)
    execute_process(COMMAND ${OBJDUMP} -p ${LIBRARY} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "cannot read the headers of ${LIBRARY}")
    endif()
    if(NOT dump MATCHES "Entry 9 0+ 0+ Thread Storage Directory")
        message(FATAL_ERROR "${LIBRARY} has a TLS directory: the loader would call it for every "
                            "thread. Something links the runtime's static-TLS support.")
    endif()
endif()
