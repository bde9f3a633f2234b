#include "sim/platform/root.hpp"

#include "objc/foundation.hpp"
#include "sim/platform/binary_plist.hpp"
#include "sim/platform/bundle_for_class.hpp"
#include "sim/platform/gnu_runtime.hpp"
#include "sim/platform/objects.hpp"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string_view>

namespace sim {

namespace {

std::string root;

constexpr std::array kDeviceFolders = {"/var/", "/private/", "/Library/", "/System/", "/Applications/"};
constexpr std::array kStandardFolders = {"/var/mobile/Library/Preferences", "/Library/PreferenceBundles",
                                         "/Library/MobileSubstrate/DynamicLibraries"};

NS::String mapped(NS::String path) { return path ? string(hostPath(path.UTF8String())) : path; }

// Whether every character reference or entity of an XML text is complete ("&#65;", "&#x41;",
// "&amp;"). GNUstep's XML parser writes past its buffer on a reference cut short, where Apple's
// rejects the file.
bool entitiesComplete(std::string_view text) {
    auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    auto isHexDigit = [&](char c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); };
    auto isLetter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    for (size_t at = text.find('&'); at != std::string_view::npos; at = text.find('&', at + 1)) {
        size_t end = at + 1;
        if (end < text.size() && text[end] == '#') {
            ++end;
            bool hex = end < text.size() && text[end] == 'x';
            if (hex) ++end;
            size_t first = end;
            while (end < text.size() && (hex ? isHexDigit(text[end]) : isDigit(text[end]))) ++end;
            if (end == first) return false;
        } else {
            size_t first = end;
            while (end < text.size() && isLetter(text[end])) ++end;
            if (end == first) return false;
        }
        if (end >= text.size() || text[end] != ';') return false;
    }
    return true;
}

// Apple's reader rejects a document whose last markup is left open; GNUstep's overruns its buffers
// on one that ends in "<".
bool lastMarkupClosed(std::string_view text) { return text.find('>', text.rfind('<')) != std::string_view::npos; }

// Whether the bytes are an XML or a binary property list, the two forms a device's files have.
// GNUstep also reads forms of its own (OpenStep text, its serializer's bytes) that Apple's does not,
// and reading those from arbitrary bytes can overrun, leak or ask for gigabytes.
bool looksLikeDevicePropertyList(Object data) {
    NSUInteger length = data.send<NSUInteger>(sel<"length">());
    std::string_view bytes(data.send<const char*>(sel<"bytes">()), length);
    if (bytes.starts_with("bplist00")) return isWellFormedBinaryPropertyList(bytes);
    size_t start = bytes.find_first_not_of(" \t\r\n");
    if (start == std::string_view::npos) return false;
    bytes.remove_prefix(start);
    bool xml = bytes.starts_with("<?xml") || bytes.starts_with("<plist") || bytes.starts_with("<!DOCTYPE");
    return xml && entitiesComplete(bytes) && lastMarkupClosed(bytes);
}

// Like Apple's reading: nil, silently, for anything that is no property list. GNUstep raises on
// malformed XML and binary data, where Apple's returns nil.
Object readPropertyList(NS::String path) {
    Object data = NS::classNamed("NSData").send<Object>(sel<"dataWithContentsOfFile:">(), mapped(path));
    if (!data || !looksLikeDevicePropertyList(data)) return Object();
    try {
        return NS::classNamed("NSPropertyListSerialization")
            .send<Object>(sel<"propertyListWithData:options:format:error:">(), data, NSUInteger(0), nullptr, nullptr);
    } catch (...) {
        return Object();
    }
}

IMP originalDataWrite;
IMP originalBundleInit;

id dictionaryInitWithContentsOfFile(id self, SEL, NS::String path) {
    Object plist = readPropertyList(path);
    if (!plist || !plist.isKindOfClass(objc::lookUpClass("NSDictionary"))) {
        Object(self).release();
        return nullptr;
    }
    return Object(self).send<id>(sel<"initWithDictionary:">(), plist);
}

constexpr NSUInteger kXmlFormat = 100, kBinaryFormat = 200; // NSPropertyListXMLFormat_v1_0, ...BinaryFormat_v1_0

BOOL dataWriteToFile(id self, SEL cmd, NS::String path, BOOL atomically) {
    return objc::sendTo<BOOL>(originalDataWrite, self, cmd, mapped(path), atomically);
}

// As Apple's does, an XML property list (GNUstep's own would write its old text form).
BOOL dictionaryWriteToFile(id self, SEL, NS::String path, BOOL atomically) {
    Object data = NS::classNamed("NSPropertyListSerialization")
                      .send<Object>(sel<"dataWithPropertyList:format:options:error:">(), self, kXmlFormat, NSUInteger(0), nullptr);
    return data && dataWriteToFile(data.raw, sel<"writeToFile:atomically:">(), path, atomically);
}

id bundleInitWithPath(id self, SEL cmd, NS::String path) {
    return objc::sendTo<id>(originalBundleInit, self, cmd, mapped(path));
}

// Sets the implementation on each listed class that has its own, so that no class of the cluster
// escapes.
IMP replace(std::initializer_list<const char*> classNames, bool classMethod, SEL sel, IMP replacement) {
    IMP first = nullptr;
    for (const char* name : classNames) {
        Class cls = objc::lookUpClass(name);
        IMP old = replaceOwnMethod(classMethod ? metaclassOf(cls) : cls, sel, replacement);
        if (first == nullptr) first = old;
    }
    return first;
}

// GNUstep's +dictionaryWithContentsOfFile: and +bundleWithPath: go through the initialisers.
void installFoundationReplacements() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    replace({"NSDictionary", "NSMutableDictionary"}, false, sel<"initWithContentsOfFile:">(),
            reinterpret_cast<IMP>(dictionaryInitWithContentsOfFile));
    replace({"NSDictionary"}, false, sel<"writeToFile:atomically:">(), reinterpret_cast<IMP>(dictionaryWriteToFile));
    originalDataWrite = replace({"NSData"}, false, sel<"writeToFile:atomically:">(), reinterpret_cast<IMP>(dataWriteToFile));
    originalBundleInit = replace({"NSBundle"}, false, sel<"initWithPath:">(), reinterpret_cast<IMP>(bundleInitWithPath));
    installBundleForClass();
}

} // namespace

void makeFreshRoot() {
    installFoundationReplacements();
    removeRoot();
    std::string pattern = (std::filesystem::temp_directory_path() / "twinly-root-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::filesystem::filesystem_error("mkdtemp", std::error_code(errno, std::generic_category()));
    root = pattern;
    for (const char* folder : kStandardFolders) std::filesystem::create_directories(root + folder);
}

void removeRoot() {
    if (root.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
    root.clear();
}

const std::string& rootFolder() { return root; }

void writePropertyList(const std::string& devicePath, Object plist, PlistFormat format) {
    Object data = NS::classNamed("NSPropertyListSerialization")
                      .send<Object>(sel<"dataWithPropertyList:format:options:error:">(), plist,
                                    format == PlistFormat::xml ? kXmlFormat : kBinaryFormat, NSUInteger(0), nullptr);
    if (!data) throw std::runtime_error("cannot serialise the property list");
    const char* bytes = data.send<const char*>(sel<"bytes">());
    writeFile(devicePath, std::string(bytes, data.send<NSUInteger>(sel<"length">())));
}

void writeFile(const std::string& devicePath, const std::string& bytes) {
    std::filesystem::path path = hostPath(devicePath);
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out) throw std::runtime_error("cannot write " + devicePath);
}

void removeFile(const std::string& devicePath) {
    std::error_code ignored;
    std::filesystem::remove(hostPath(devicePath), ignored);
}

std::string hostPath(const std::string& devicePath) {
    if (root.empty() || devicePath.compare(0, root.size(), root) == 0) return devicePath;
    for (const char* folder : kDeviceFolders)
        if (devicePath.rfind(folder, 0) == 0) return root + devicePath;
    return devicePath;
}

} // namespace sim
