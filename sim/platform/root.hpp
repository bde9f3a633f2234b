// The device's file system: its fixed paths (/var/mobile/..., /Library/...) resolve inside a root
// folder of the host. Foundation's path-taking entry points are replaced so that product code
// keeps its device paths:
//   NSDictionary   -initWithContentsOfFile: (and so +dictionaryWithContentsOfFile:), -writeToFile:atomically:
//   NSData         -writeToFile:atomically:
//   NSBundle       -initWithPath: (and so +bundleWithPath:)
// Reading a dictionary goes through NSPropertyListSerialization, as Apple's Foundation does: XML and
// binary property lists both work, and a missing file or a root that is not a dictionary gives nil
// silently.
// Beside them, +[NSBundle bundleForClass:] answers as Apple's does (sim/platform/bundle_for_class.hpp).
#pragma once

#include "objc/foundation.hpp"

#include <string>

namespace sim {

// Makes an empty root (a new temporary folder with the device's standard folders) and maps paths
// into it; the previous root, if any, is deleted. Installs the Foundation replacements the first time.
void makeFreshRoot();
// Deletes the root folder.
void removeRoot();
const std::string& rootFolder();

// Where a device path lies on the host. Paths outside the device's folders, and paths already
// inside the root, are returned unchanged.
std::string hostPath(const std::string& devicePath);

// Writing the device's files as the simulator sets a scenario up.
enum class PlistFormat { xml, binary };
void writePropertyList(const std::string& devicePath, objc::Object plist, PlistFormat format);
void writeFile(const std::string& devicePath, const std::string& bytes);
void removeFile(const std::string& devicePath);

} // namespace sim
