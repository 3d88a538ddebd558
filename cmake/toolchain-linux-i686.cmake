# 32-bit x86 Linux build, run under qemu-i386 user emulation.
# Used to check that the portable engine gives the same bits on 32-bit x86 as
# on x64, on machines whose kernel cannot run 32-bit programs directly (and so
# cannot run 32-bit Windows programs under Wine either).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32")
set(CMAKE_CXX_FLAGS_INIT "-m32")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32 -static")
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-i386)
set(GW_ENGINE_ONLY ON CACHE BOOL "" FORCE)
