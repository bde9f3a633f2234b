// Apple's Objective-C rules that the host's runtime cannot show, checked on the guest's reads: on
// arm64 an object's first word is a non-pointer isa (class bits packed with flags and a retain
// count), never its class, so guest code that loads it to find the class fails on a device.
#pragma once

#include <cstdint>

namespace sim::device {

// Records an object that reached the guest (an argument, a result, a block's capture): a load of
// its first word ends the run while the object lives.
void noteObject(const void* object);
// Called for every guest read; ends the run for a read of a noted object's isa.
void checkObjectRead(uint64_t address);

} // namespace sim::device
