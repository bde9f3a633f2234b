// Checks a binary property list's structure before GNUstep reads it. Apple's reader rejects a
// malformed file; GNUstep's reads whatever offsets and counts the file gives, past its end.
#pragma once

#include <string_view>

namespace sim {

// Whether `bytes` ("bplist00" ...) is a binary property list whose trailer, offset table and
// objects all lie inside it, whose references name objects that exist, whose dictionaries have
// string keys, and whose containers do not contain themselves.
bool isWellFormedBinaryPropertyList(std::string_view bytes);

} // namespace sim
