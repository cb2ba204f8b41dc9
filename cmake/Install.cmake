# cmake --install: the C interface, the C++ library with what its hosts compile and link, hwsnap
# and its man page; a CMake package (systemmonitor::c, systemmonitor::systemmonitor) and a
# pkg-config file for the C interface. Components: runtime, dev, hwsnap.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS systemmonitor-c systemmonitor
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
install(FILES include/systemmonitor/systemmonitor.h
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/systemmonitor COMPONENT dev)

# A C++ host walks the tree with its own copy of the node model's client code (the library
# exports only its entry points): the headers and archives under systemmonitor/.
set(SM_CXX_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/systemmonitor)
install(FILES devicetree/Device.h devicetree/GetAllDevices.h
    DESTINATION ${SM_CXX_INCLUDEDIR}/devicetree COMPONENT dev)
install(FILES foundation/Array.h foundation/Exception.h foundation/Mutex.h foundation/QELValue.h
        foundation/Serializable.h foundation/SharedPointer.h foundation/String.h
    DESTINATION ${SM_CXX_INCLUDEDIR}/foundation COMPONENT dev)
install(FILES platform/Hot.h DESTINATION ${SM_CXX_INCLUDEDIR}/platform COMPONENT dev)
set(SM_CLIENT_LIBDIR ${CMAKE_INSTALL_LIBDIR}/systemmonitor)
install(TARGETS sm_devicetree_model sm_foundation sm_platform
    ARCHIVE DESTINATION ${SM_CLIENT_LIBDIR} COMPONENT dev)

if(TARGET hwsnap)
    install(TARGETS hwsnap RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT hwsnap)
endif()
if(TARGET hwsnap_man)
    install(FILES ${CMAKE_BINARY_DIR}/tools/hwsnap/hwsnap.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT hwsnap)
endif()
if(WIN32)
    install(FILES README.md DESTINATION . COMPONENT runtime)
endif()

# File names as the package config and the .pc file give them, relative to the prefix.
set(SM_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/systemmonitor)
set(SM_STATIC ${CMAKE_STATIC_LIBRARY_PREFIX})
if(WIN32)
    set(SM_C_LOCATION ${CMAKE_INSTALL_BINDIR}/systemmonitor-c.dll)
    set(SM_C_IMPLIB ${CMAKE_INSTALL_LIBDIR}/libsystemmonitor-c.dll.a)
    set(SM_CXX_LOCATION ${CMAKE_INSTALL_BINDIR}/systemmonitor.dll)
    set(SM_CXX_IMPLIB ${CMAKE_INSTALL_LIBDIR}/libsystemmonitor.dll.a)
    # IsNetDrive binds by ordinal through an import library of the build's own.
    install(FILES ${CMAKE_BINARY_DIR}/platform/libsm_shell32_ordinals.a
        DESTINATION ${SM_CLIENT_LIBDIR} COMPONENT dev)
    set(SM_SYSTEM_LIBS "cfgmgr32;setupapi;shell32;\${_sm_prefix}/${SM_CLIENT_LIBDIR}/libsm_shell32_ordinals.a")
else()
    set(SM_C_LOCATION ${CMAKE_INSTALL_LIBDIR}/libsystemmonitor-c.so.${PROJECT_VERSION_MAJOR})
    set(SM_C_IMPLIB "")
    set(SM_CXX_LOCATION ${CMAKE_INSTALL_LIBDIR}/libsystemmonitor.so.${PROJECT_VERSION_MAJOR})
    set(SM_CXX_IMPLIB "")
    set(SM_SYSTEM_LIBS "")
endif()
file(RELATIVE_PATH SM_CONFIG_TO_PREFIX /${SM_PACKAGE_DIR} /)
string(REGEX REPLACE "/$" "" SM_CONFIG_TO_PREFIX ${SM_CONFIG_TO_PREFIX})
configure_file(cmake/systemmonitorConfig.cmake.in systemmonitorConfig.cmake @ONLY)
write_basic_package_version_file(systemmonitorConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/systemmonitorConfig.cmake
        ${CMAKE_BINARY_DIR}/systemmonitorConfigVersion.cmake
    DESTINATION ${SM_PACKAGE_DIR} COMPONENT dev)

file(RELATIVE_PATH SM_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" SM_PC_TO_PREFIX ${SM_PC_TO_PREFIX})
configure_file(cmake/systemmonitor-c.pc.in systemmonitor-c.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/systemmonitor-c.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

# Packages: for Linux one Debian package per component, for Windows one ZIP with everything.
set(CPACK_PACKAGE_NAME systemmonitor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Snapshots of the machine's processors, disks and memory as a tree of typed nodes")
set(CPACK_PACKAGE_CONTACT "systemmonitor maintainers <systemmonitor@localhost>")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
if(WIN32)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME systemmonitor-${PROJECT_VERSION}-win64)
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
    set(CPACK_GENERATOR DEB)
    set(CPACK_DEB_COMPONENT_INSTALL ON)
    set(CPACK_COMPONENTS_ALL runtime dev hwsnap)
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(sm_runtime_depends "libc6, libgcc-s1, libstdc++6")
    set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libsystemmonitor${PROJECT_VERSION_MAJOR})
    set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
    set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS ${sm_runtime_depends})
    set(CPACK_DEBIAN_DEV_PACKAGE_NAME libsystemmonitor-dev)
    set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
    set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS
        "libsystemmonitor${PROJECT_VERSION_MAJOR} (= ${PROJECT_VERSION})")
    set(CPACK_DEBIAN_HWSNAP_PACKAGE_NAME hwsnap)
    set(CPACK_DEBIAN_HWSNAP_PACKAGE_SECTION utils)
    set(CPACK_DEBIAN_HWSNAP_PACKAGE_DEPENDS ${sm_runtime_depends})
    set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "the shared libraries: the C++ library and its C interface")
    set(CPACK_COMPONENT_DEV_DESCRIPTION "headers, CMake package and pkg-config file")
    set(CPACK_COMPONENT_HWSNAP_DESCRIPTION "hwsnap, which prints snapshots as a tree or JSON lines")
endif()
include(CPack)
