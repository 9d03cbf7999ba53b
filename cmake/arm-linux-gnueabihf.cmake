# Cross build for 32-bit ARM devices (ARMv7 with hardware floating point,
# such as Cortex-A7 telematics units) with Debian's cross compiler and the
# armhf multiarch -dev packages (scripts/cross-test installs both); tests
# and programs run on the build machine under qemu-arm.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_LIBRARY_ARCHITECTURE arm-linux-gnueabihf)
set(CMAKE_C_COMPILER arm-linux-gnueabihf-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)
# Only the target's libraries, headers and packages; the build machine's
# programs.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/arm-linux-gnueabihf/pkgconfig:/usr/share/pkgconfig)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm -L /usr/arm-linux-gnueabihf)
# GCC notes each use of a type whose argument passing changed in GCC 7.1;
# the programs and the libraries they link come from one newer compiler.
set(CMAKE_CXX_FLAGS_INIT -Wno-psabi)
