# One static library per folder: every *.cpp except tests (*Test.cpp) and benchmarks (*Bench.cpp).
# Platform-specific sources live in linux/ or windows/ subfolders and are picked by the target OS.
function(sm_folder_library target)
    cmake_parse_arguments(ARG "" "" "DEPS;EXTRA_SOURCES" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    if(WIN32)
        file(GLOB os_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/windows/*.cpp)
    else()
        file(GLOB os_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/linux/*.cpp)
    endif()
    list(FILTER sources EXCLUDE REGEX "(Test|Bench)\\.cpp$")
    list(FILTER os_sources EXCLUDE REGEX "(Test|Bench)\\.cpp$")
    if(NOT sources AND NOT os_sources AND NOT ARG_EXTRA_SOURCES)
        # A folder whose code is all in headers.
        add_library(${target} INTERFACE)
        target_include_directories(${target} INTERFACE ${PROJECT_SOURCE_DIR})
        target_link_libraries(${target} INTERFACE ${ARG_DEPS})
        return()
    endif()
    add_library(${target} STATIC ${sources} ${os_sources} ${ARG_EXTRA_SOURCES})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${target} PUBLIC ${ARG_DEPS})
endfunction()

# Under Wine each test executable is a Windows process start: only these run there (the
# foundation, the tree and memory, the seam with its Windows backend, the records, and the
# processor libraries with their Windows source). The rest is portable code the native builds test.
set(SM_WINE_TESTS foundation_tests devicetree_tests memory_tests platform_tests libOSWindows_tests
    suite_cpu_tests cpu_tests
    CACHE STRING "Unit-test executables built and run under Wine")

# The folder's unit tests (*Test.cpp, also in linux/ or windows/) as one GoogleTest executable.
function(sm_folder_tests target)
    cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
    file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*Test.cpp)
    if(WIN32)
        file(GLOB os_tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/windows/*Test.cpp)
    else()
        file(GLOB os_tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/linux/*Test.cpp)
    endif()
    list(APPEND tests ${os_tests})
    if(NOT tests OR NOT SM_BUILD_TESTS)
        return()
    endif()
    if(CMAKE_CROSSCOMPILING AND NOT target IN_LIST SM_WINE_TESTS)
        return()
    endif()
    add_executable(${target} ${tests})
    target_link_libraries(${target} PRIVATE ${ARG_DEPS} GTest::gmock GTest::gtest_main)
    target_compile_definitions(${target} PRIVATE
        SM_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/testdata"
        SM_MACHINES_DIR="${PROJECT_SOURCE_DIR}/tests/machines")
    if(CMAKE_CROSSCOMPILING)
        # Listing the tests would start Wine once more per executable: one ctest runs them all.
        add_test(NAME ${target} COMMAND ${target})
        set_tests_properties(${target} PROPERTIES TIMEOUT 300)
    else()
        gtest_discover_tests(${target} DISCOVERY_TIMEOUT 120 PROPERTIES TIMEOUT 120)
    endif()
endfunction()

# Benchmarks (*Bench.cpp) as one Google Benchmark executable; built, never run by ctest.
function(sm_folder_benchmarks target)
    cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
    file(GLOB benches CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*Bench.cpp)
    if(NOT benches OR NOT SM_BUILD_BENCHMARKS)
        return()
    endif()
    add_executable(${target} ${benches})
    target_link_libraries(${target} PRIVATE ${ARG_DEPS} benchmark::benchmark benchmark::benchmark_main)
endfunction()
