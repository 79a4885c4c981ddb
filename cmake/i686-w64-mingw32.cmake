# Cross build for the 32-bit x86 Windows host: MinGW-w64's i686 compilers with
# POSIX threads, whose libraries are linked statically so that Marrowlink.p and
# the test programs need no DLL beyond Windows' own. Programs run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(MARROWLINK_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${MARROWLINK_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MARROWLINK_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${MARROWLINK_MINGW_PREFIX}-windres)
set(CMAKE_OBJDUMP ${MARROWLINK_MINGW_PREFIX}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${MARROWLINK_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libgcc, libstdc++ and winpthread go into every binary.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Test programs run under Wine through scripts/wine-run.sh.
get_filename_component(MARROWLINK_SOURCE_ROOT ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${MARROWLINK_SOURCE_ROOT}/scripts/wine-run.sh)
