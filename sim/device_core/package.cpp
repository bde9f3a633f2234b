#include "sim/device_core/package.hpp"

#include "sim/device_core/loader.hpp"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace sim::device {
namespace {

std::optional<std::string> unpacked;

} // namespace

void usePackage(const std::string& debFile) {
    char directory[] = "/tmp/twinly-package-XXXXXX";
    if (mkdtemp(directory) == nullptr) throw LoadError("no directory to unpack " + debFile + " into");
    pid_t child = fork();
    if (child == 0) {
        execlp("dpkg-deb", "dpkg-deb", "-x", debFile.c_str(), directory, static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::filesystem::remove_all(directory);
        throw LoadError("dpkg-deb cannot unpack " + debFile);
    }
    unpacked = directory;
}

std::optional<std::string> packagedPath(const std::string& devicePath) {
    if (!unpacked) return std::nullopt;
    return *unpacked + devicePath;
}

std::string devicePathOf(const std::string& hostPath) {
    if (unpacked && hostPath.compare(0, unpacked->size(), *unpacked) == 0) return hostPath.substr(unpacked->size());
    return hostPath;
}

void removePackage() {
    if (unpacked) std::filesystem::remove_all(*unpacked);
    unpacked.reset();
}

} // namespace sim::device
