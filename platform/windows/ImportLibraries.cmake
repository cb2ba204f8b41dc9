# Included by platform/CMakeLists.txt on Windows: the import library that binds shell32's
# IsNetDrive by ordinal, made with the toolchain's dlltool when the build is configured.
set(SM_SHELL32_ORDINALS_DEF ${CMAKE_CURRENT_LIST_DIR}/Shell32Ordinals.def)
set(SM_SHELL32_ORDINALS_LIB ${CMAKE_CURRENT_BINARY_DIR}/libsm_shell32_ordinals.a)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${SM_SHELL32_ORDINALS_DEF})
execute_process(
    COMMAND ${CMAKE_DLLTOOL} --machine i386:x86-64 --input-def ${SM_SHELL32_ORDINALS_DEF}
            --output-lib ${SM_SHELL32_ORDINALS_LIB}
    RESULT_VARIABLE sm_dlltool_rc)
if(NOT sm_dlltool_rc EQUAL 0)
    message(FATAL_ERROR "dlltool could not make ${SM_SHELL32_ORDINALS_LIB}")
endif()
target_link_libraries(sm_platform PUBLIC ${SM_SHELL32_ORDINALS_LIB})
