# 32-bit x86 Linux build (g++ -m32): the host's record layouts, 32-bit item IDs
# and cdecl calls, checked on machines where Wine cannot run. Test programs run
# under qemu-i386 where it is installed, since some machines cannot start
# 32-bit programs themselves.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
foreach(kind C CXX EXE_LINKER SHARED_LINKER MODULE_LINKER)
  set(CMAKE_${kind}_FLAGS_INIT -m32)
endforeach()
find_program(MARROWLINK_QEMU_I386 qemu-i386)
if(MARROWLINK_QEMU_I386)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${MARROWLINK_QEMU_I386})
endif()
