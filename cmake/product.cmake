# The product as both builds make it, the host's and the device's: the sources of each binary, and
# the flags they compile with. Product code is freestanding C++ for the device: clang's
# freestanding headers only, no exceptions, no RTTI, blocks, nothing visible outside. Unwind tables
# all the same (clang leaves them out under -fno-exceptions on Darwin arm64): an Objective-C
# exception raised below a replacement must unwind through its frame to the handler above, and
# crash reports need the frames.
set(TWINLY_PRODUCT_FLAGS -std=c++20 -ffreestanding -nostdlibinc -fno-exceptions -fno-rtti -fblocks
    -funwind-tables -fvisibility=hidden -fvisibility-inlines-hidden -Wall -Wextra)

# Relative to the root of the sources. The tweak's constructor, load.cpp, is the library's alone:
# the tests start the tweak themselves.
set(TWINLY_TWEAK_SOURCES tweak/load.cpp tweak/start.cpp tweak/preferences.cpp tweak/hook_table.cpp
    tweak/playlist_tracking.cpp tweak/context_capture.cpp tweak/tap_guard.cpp tweak/album_additions.cpp
    tweak/marking.cpp)
set(TWINLY_PREFS_SOURCES prefs/load.cpp prefs/list_controller.cpp prefs/cells.cpp)

# A product source that no list names would be neither built nor tested: the configuration stops.
get_filename_component(twinly_root ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
file(GLOB twinly_found CONFIGURE_DEPENDS RELATIVE ${twinly_root} ${twinly_root}/tweak/*.cpp ${twinly_root}/prefs/*.cpp)
foreach(source ${twinly_found})
  if(NOT source IN_LIST TWINLY_TWEAK_SOURCES AND NOT source IN_LIST TWINLY_PREFS_SOURCES)
    message(FATAL_ERROR "${source} is in no list of sources in cmake/product.cmake")
  endif()
endforeach()
