# How product code compiles for the device, shared by the device build and the compile checks:
# clang's freestanding headers only, no exceptions, no RTTI, blocks, nothing visible outside.
set(TWINLY_DEVICE_FLAGS -std=c++20 -ffreestanding -nostdlibinc -fno-exceptions -fno-rtti -fblocks
    -fvisibility=hidden -fvisibility-inlines-hidden -Wall -Wextra)
