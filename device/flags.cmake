# How product code compiles for the device, shared by the device build and the compile checks:
# clang's freestanding headers only, no exceptions, no RTTI, blocks, nothing visible outside.
# Unwind tables all the same (clang leaves them out under -fno-exceptions on Darwin arm64): an
# Objective-C exception raised below a replacement must unwind through its frame to the handler
# above, and crash reports need the frames.
set(TWINLY_DEVICE_FLAGS -std=c++20 -ffreestanding -nostdlibinc -fno-exceptions -fno-rtti -fblocks
    -funwind-tables -fvisibility=hidden -fvisibility-inlines-hidden -Wall -Wextra)
