# Cross-build for 32-bit Linux (i686): the portable code with the 32-bit Windows program's sizes
# (4-byte size_t and pointers, 8-byte file offsets), tested on machines that cannot be assumed to run
# 32-bit programs. The tests run under qemu-i386 even where the kernel could run them natively.
# Debian's qemu-i386 hangs a dynamically linked program that starts a thread, so every program is
# linked statically (ZR_STATIC: only static libraries are found, and -static links them in).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER i686-linux-gnu-g++)
# The i386 multiarch libraries (libssl-dev:i386, liblzma-dev:i386) live in /usr/lib/i386-linux-gnu.
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
# pkg-config (which FindOpenSSL asks first) must describe those, not the build machine's own.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/i386-linux-gnu/pkgconfig:/usr/share/pkgconfig)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-i386)
set(ZR_STATIC ON CACHE BOOL "Link every program statically")
