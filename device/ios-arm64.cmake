# Cross-compiles for 64-bit iOS on Linux with Debian's clang and ld64.lld, without an Apple SDK:
# the link sees only the project's own text stubs (device/stubs/*.tbd).
set(CMAKE_SYSTEM_NAME Darwin)
set(CMAKE_SYSTEM_PROCESSOR arm64)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_CXX_COMPILER_TARGET arm64-apple-ios10.0)
set(CMAKE_OSX_SYSROOT /)

# There is no SDK to link a test program against, so CMake's compiler check only compiles.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

# No system libraries but the stubs. lld signs iOS output only when asked, and is not asked: the
# device build signs each binary with device/sign.py after the link.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-fuse-ld=lld -nostdlib")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-fuse-ld=lld -nostdlib")
