// The bytes users install: a Debian package unpacked once, so that the apps load its binaries
// (and the settings bundle's resources) instead of the host build's.
#pragma once

#include <optional>
#include <string>

namespace sim::device {

// Unpacks the package for the rest of the process; throws LoadError when it cannot.
void usePackage(const std::string& debFile);
// Where the package's file of that device path was unpacked, when a package is in use.
std::optional<std::string> packagedPath(const std::string& devicePath);
// The device path of a file that the package unpacked (the host path itself for any other).
std::string devicePathOf(const std::string& hostPath);
// Removes what usePackage unpacked.
void removePackage();

} // namespace sim::device
