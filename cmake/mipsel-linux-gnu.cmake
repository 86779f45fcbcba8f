# Cross build for the TV chip: 32-bit little-endian MIPS Linux, with Debian's
# mipsel-linux-gnu cross compiler (package g++-mipsel-linux-gnu).
#
# Every executable is linked statically: the target ships one self-contained binary,
# and qemu-user runs static binaries on the build machine without a target sysroot,
# so ctest and GoogleTest's test discovery work through CMAKE_CROSSCOMPILING_EMULATOR
# even where no binfmt handler is registered.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR mipsel)

set(CMAKE_C_COMPILER mipsel-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER mipsel-linux-gnu-g++)

set(CMAKE_FIND_ROOT_PATH /usr/mipsel-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Size matters on the target's flash. Section-level garbage collection drops what the
# static C library and libstdc++ bring in but the tool never calls, and a static
# executable is never position-independent, so its code need not pay for a GOT: -mplt
# makes calls direct instead of loading each callee's address from it (and reloading the
# GOT pointer after every call), which saves code and a few instructions per call.
set(CMAKE_CXX_FLAGS_INIT "-ffunction-sections -fdata-sections -fno-pie -mplt")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -no-pie -Wl,--gc-sections")

find_program(AVRIG_QEMU_MIPSEL NAMES qemu-mipsel qemu-mipsel-static)
if(NOT AVRIG_QEMU_MIPSEL)
  message(FATAL_ERROR "qemu-mipsel not found: install qemu-user to run the mipsel tests")
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${AVRIG_QEMU_MIPSEL})
