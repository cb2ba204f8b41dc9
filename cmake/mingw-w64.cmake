# 64-bit Windows with mingw-w64 (posix threads model), run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(SM_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${SM_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SM_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${SM_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${SM_MINGW_TRIPLE}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${SM_MINGW_TRIPLE}-ranlib CACHE FILEPATH "")
set(CMAKE_DLLTOOL ${SM_MINGW_TRIPLE}-dlltool CACHE FILEPATH "")
set(CMAKE_OBJDUMP ${SM_MINGW_TRIPLE}-objdump CACHE FILEPATH "")
set(CMAKE_STRIP ${SM_MINGW_TRIPLE}-strip CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${SM_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every executable is self-contained (libstdc++, libgcc and winpthread inside), so Wine needs no
# toolchain DLL on its path.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Tests and discovery run through Wine with a prefix of the build folder's own; the runner makes
# the prefix on first use.
set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_CURRENT_LIST_DIR}/../tests/wine/wine-run;${CMAKE_BINARY_DIR}/wine-prefix)
