// The device's file system inside a root folder: device paths map into it, and the Foundation entry
// points that take a path read and write there, reading property lists as Apple's Foundation does.
#include "sim/platform/root.hpp"

#include "objc/foundation.hpp"
#include "sim/platform/objects.hpp"

#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using objc::Object;
using objc::Ref;
using objc::sel;

const char* const kPrefs = "/var/mobile/Library/Preferences/com.example.plist";

class Root : public ::testing::Test {
protected:
    void SetUp() override { sim::makeFreshRoot(); }
    void TearDown() override { sim::removeRoot(); }
    NS::AutoreleasePool pool;
};

Ref<NS::MutableDictionary> dictionaryWithFlag() {
    auto dictionary = NS::MutableDictionary::make();
    dictionary->setObjectForKey(NS::classNamed("NSNumber").send<Object>(sel<"numberWithBool:">(), NO),
                                NS::String::make("greyText"));
    return dictionary;
}

Object flag(NS::Dictionary dictionary) { return dictionary.valueForKey(NS::String::make("greyText")); }

TEST_F(Root, MapsDevicePathsIntoTheRootAndLeavesOthersAlone) {
    const std::string& root = sim::rootFolder();
    EXPECT_EQ(sim::hostPath(kPrefs), root + kPrefs);
    EXPECT_EQ(sim::hostPath("/Library/PreferenceBundles/x.bundle"), root + "/Library/PreferenceBundles/x.bundle");
    EXPECT_EQ(sim::hostPath(root + kPrefs), root + kPrefs);
    EXPECT_EQ(sim::hostPath("/tmp/elsewhere"), "/tmp/elsewhere");
    EXPECT_TRUE(std::filesystem::is_directory(root + "/var/mobile/Library/Preferences"));
}

TEST_F(Root, ReadsBinaryAndXmlPropertyListsAsMutableDictionaries) {
    for (sim::PlistFormat format : {sim::PlistFormat::binary, sim::PlistFormat::xml}) {
        sim::writePropertyList(kPrefs, dictionaryWithFlag().get(), format);
        auto read = NS::MutableDictionary::dictionaryWithContentsOfFile(NS::String::make(kPrefs));
        ASSERT_TRUE(read);
        EXPECT_TRUE(read.isKindOfClass(objc::lookUpClass("NSMutableDictionary")));
        EXPECT_EQ(NS::boolValue(flag(read)), NO);
        read.setObjectForKey(NS::String::make("changed"), NS::String::make("other"));
    }
}

TEST_F(Root, GivesNilForAMissingFileGarbageOrARootThatIsNotADictionary) {
    auto path = NS::String::make(kPrefs);
    EXPECT_FALSE(NS::MutableDictionary::dictionaryWithContentsOfFile(path));
    sim::writeFile(kPrefs, "not a property list <<<");
    EXPECT_FALSE(NS::MutableDictionary::dictionaryWithContentsOfFile(path));
    auto array = NS::MutableArray::make();
    array->addObject(NS::String::make("item"));
    sim::writePropertyList(kPrefs, array.get(), sim::PlistFormat::xml);
    EXPECT_FALSE(NS::MutableDictionary::dictionaryWithContentsOfFile(path));
    Object allocated(NS::classNamed("NSDictionary").send<id>(sel<"alloc">()));
    EXPECT_EQ(allocated.send<id>(sel<"initWithContentsOfFile:">(), path.get()), nullptr);
}

// Files GNUstep's own readers would take, or break on, and Apple's reject.
TEST_F(Root, GivesNilForFormsThatADeviceDoesNotRead) {
    auto path = NS::String::make(kPrefs);
    for (const char* bytes : {"{ greyText = NO; }", "<?xml N&#", "<plist><dict><key>a&#x</key></dict></plist>",
                              "<?xml version=\"1.0\"?><plist><string>&amp</string></plist>"}) {
        sim::writeFile(kPrefs, bytes);
        EXPECT_FALSE(NS::MutableDictionary::dictionaryWithContentsOfFile(path)) << bytes;
    }
    sim::writeFile(kPrefs, "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>a&amp;b&#65;&#x42;</key>"
                           "<true/></dict></plist>");
    NS::MutableDictionary read = NS::MutableDictionary::dictionaryWithContentsOfFile(path);
    EXPECT_TRUE(NS::boolValue(read.valueForKey(NS::String::make("a&bAB"))));
}

// A binary property list of one object at offset 8, with its offset table and trailer.
std::string binaryList(const std::string& object) {
    std::string bytes = "bplist00" + object;
    bytes += char(8); // the offset table
    std::string trailer(32, '\0');
    trailer[6] = 1;                    // offset size
    trailer[7] = 1;                    // reference size
    trailer[15] = 1;                   // one object
    trailer[31] = char(8 + object.size()); // where the offset table starts
    return bytes + trailer;
}

TEST_F(Root, GivesNilForBinaryListsThatPointOutsideThemselvesOrIntoThemselves) {
    auto path = NS::String::make(kPrefs);
    sim::writePropertyList(kPrefs, dictionaryWithFlag().get(), sim::PlistFormat::binary);
    std::ifstream in(sim::hostPath(kPrefs), std::ios::binary);
    std::string sound((std::istreambuf_iterator<char>(in)), {});
    const std::string malformed[] = {
        sound.substr(0, sound.size() / 2),          // cut short
        sound.substr(0, sound.size() - 1) + '\x7f', // the offset table past the end
        binaryList(std::string("\xa1\x00", 2)),    // an array that holds itself
        binaryList(std::string("\x5f\x10\x7f", 3)), // a string longer than the file
    };
    for (const std::string& bytes : malformed) {
        sim::writeFile(kPrefs, bytes);
        EXPECT_FALSE(NS::MutableDictionary::dictionaryWithContentsOfFile(path));
    }
    sim::writeFile(kPrefs, sound);
    EXPECT_TRUE(NS::MutableDictionary::dictionaryWithContentsOfFile(path));
}

TEST_F(Root, WritesDictionariesInsideTheRoot) {
    auto dictionary = dictionaryWithFlag();
    EXPECT_TRUE(dictionary->writeToFile(NS::String::make(kPrefs), YES));
    EXPECT_TRUE(std::filesystem::exists(sim::rootFolder() + kPrefs));
    EXPECT_FALSE(std::filesystem::exists(kPrefs));
    auto read = NS::MutableDictionary::dictionaryWithContentsOfFile(NS::String::make(kPrefs));
    EXPECT_EQ(NS::boolValue(flag(read)), NO);
}

TEST_F(Root, FindsBundlesInsideTheRoot) {
    sim::writeFile("/Library/PreferenceBundles/example.bundle/banner.png", "png");
    NS::Bundle bundle = NS::Bundle::bundleWithPath(NS::String::make("/Library/PreferenceBundles/example.bundle"));
    ASSERT_TRUE(bundle);
    NS::String found = bundle.pathForResource(NS::String::make("banner"), NS::String::make("png"));
    ASSERT_TRUE(found);
    EXPECT_EQ(std::string(found.UTF8String()), sim::rootFolder() + "/Library/PreferenceBundles/example.bundle/banner.png");
    EXPECT_FALSE(NS::Bundle::bundleWithPath(NS::String::make("/Library/PreferenceBundles/missing.bundle")));
}

} // namespace
