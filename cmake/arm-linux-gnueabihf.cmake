# Cross build for the television: 32-bit ARM Linux, hard-float ABI, with
# Debian's cross compiler and the armhf builds of the -dev packages
# (multiarch, /usr/lib/arm-linux-gnueabihf). Programs built here run on
# this machine through qemu-user.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_LIBRARY_ARCHITECTURE arm-linux-gnueabihf)

set(CMAKE_C_COMPILER arm-linux-gnueabihf-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)
# GCC's notes that the passing of some C++ arguments changed in GCC 7.1: the
# whole build uses one compiler, so there is nothing to mix up.
set(CMAKE_CXX_FLAGS_INIT -Wno-psabi)

# The cross C library lives in /usr/arm-linux-gnueabihf; the armhf -dev
# packages in the multiarch folders of the host's own tree. Host programs
# (cmake, pkg-config, the shell) come from the host.
set(CMAKE_FIND_ROOT_PATH /usr/arm-linux-gnueabihf)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
list(APPEND CMAKE_LIBRARY_PATH /usr/lib/arm-linux-gnueabihf /lib/arm-linux-gnueabihf)
list(APPEND CMAKE_INCLUDE_PATH /usr/include/arm-linux-gnueabihf)

# pkg-config sees only the armhf .pc files (and the architecture-independent
# ones), never the host's.
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/arm-linux-gnueabihf/pkgconfig:/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")

# Tests, test discovery and try_run go through the emulator, with the ARM
# loader and C library of the cross tree (-L). The loader must get the C
# library of its own build: its default search finds the multiarch
# libc6:armhf (/lib/arm-linux-gnueabihf) first, a different build with which
# threads crash. /lib, as the emulated program sees it, is the cross tree's.
find_program(VELQUAR_QEMU_ARM qemu-arm REQUIRED)
set(velquar_arm_library_path /lib)

# A private armhf tree with libraries that apt could not install beside the
# host's (scripts/arm.sh unpacks libcurl there when the armhf package lags the
# host's version): searched like the multiarch folders, named to the linker
# for the libraries they need in turn, and to the emulated loader.
set(VELQUAR_ARM_SYSROOT "" CACHE PATH "Extra armhf tree, laid out as Debian unpacks its packages")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VELQUAR_ARM_SYSROOT)
if(VELQUAR_ARM_SYSROOT)
    set(velquar_arm_sysroot_libs
        ${VELQUAR_ARM_SYSROOT}/usr/lib/arm-linux-gnueabihf:${VELQUAR_ARM_SYSROOT}/lib/arm-linux-gnueabihf)
    list(APPEND CMAKE_FIND_ROOT_PATH ${VELQUAR_ARM_SYSROOT})
    foreach(kind EXE SHARED MODULE)
        set(CMAKE_${kind}_LINKER_FLAGS_INIT "-Wl,-rpath-link,${velquar_arm_sysroot_libs}")
    endforeach()
    string(APPEND velquar_arm_library_path ":${velquar_arm_sysroot_libs}")
endif()

set(CMAKE_CROSSCOMPILING_EMULATOR ${VELQUAR_QEMU_ARM} -L /usr/arm-linux-gnueabihf
    -E LD_LIBRARY_PATH=${velquar_arm_library_path})
