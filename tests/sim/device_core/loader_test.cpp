// The device's loader, rule by rule, on small images that import one symbol each (load_error.cpp,
// linked against the stubs beside it), release by release; dyld's opcodes, each kind decoded; and
// the simulated device's libraries against the link stubs that stand for them.
#include "sim/device_core/bridge.hpp"
#include "sim/device_core/fixups.hpp"
#include "sim/device_core/loader.hpp"
#include "sim/device_core/releases.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

namespace {

using namespace sim::device;

std::string image(const char* kind) { return std::string(DEVICE_CORE_IMAGES) + "/device_core_" + kind + ".dylib"; }

// The loader's refusal of the image on that model and release, or "" when it loads.
std::string refusal(const char* kind, const char* model = "iPhone 7", const char* release = "10.3") {
    std::string message;
    try {
        unloadImage(loadImage(image(kind), deviceNamed(model, release)));
    } catch (const LoadError& error) {
        message = error.what();
    }
    return message;
}

uint64_t importedAddress(Image* loaded) {
    return *reinterpret_cast<const uint64_t*>(symbolAddress(loaded, "_importedAddress"));
}

TEST(DeviceCoreLoader, EachBindComesFromTheLibraryItNamesOrTheLoadFails) {
    EXPECT_EQ(refusal("misplaced"), "Symbol not found: _objc_getClass\n  Referenced from: " + image("misplaced") +
                                        "\n  Expected in: /System/Library/Frameworks/Foundation.framework/Foundation\n");
    EXPECT_EQ(refusal("missing"), "Symbol not found: _twinly_nowhere\n  Referenced from: " + image("missing") +
                                      "\n  Expected in: /System/Library/Frameworks/Foundation.framework/Foundation\n");
    Image* weak = loadImage(image("weak"), defaultDevice());
    EXPECT_EQ(importedAddress(weak), 0u) << "a weak import that no library provides binds to null";
    unloadImage(weak);
}

TEST(DeviceCoreLoader, ALazyImportIsBoundAtItsFirstCall) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    Image* lazy = loadImage(image("lazy"), defaultDevice());
    auto call = reinterpret_cast<void (*)()>(hostCallable(symbolAddress(lazy, "_callsImport"), "v"));
    EXPECT_DEATH(call(), "dyld: lazy symbol binding failed: Symbol not found: _twinly_nowhere\n  Referenced from: " +
                             image("lazy") + "\n  Expected in: /System/Library/Frameworks/Foundation.framework/Foundation");
    unloadImage(lazy);
}

// The image asks libobjc for compatibility version 2.0.0 (every release's is 1.0.0) and binds
// objc_opt_self, which libobjc exports from iOS 13.
TEST(DeviceCoreLoader, VersionsAndExportsAreTheReleasesOwn) {
    std::string incompatible = "Library not loaded: /usr/lib/libobjc.A.dylib\n  Referenced from: " + image("newer") +
                               "\n  Reason: Incompatible library version: device_core_newer.dylib requires version "
                               "2.0.0 or later, but libobjc.A.dylib provides version 1.0.0";
    EXPECT_EQ(refusal("newer", "iPhone 7", "10.3"), incompatible);
    EXPECT_EQ(refusal("newer", "iPhone 8", "11.4"), incompatible);
    // From dyld-635.2, a library built for iOS 12 or later is not held to its compatibility version.
    EXPECT_EQ(refusal("newer", "iPhone 6", "12.5"), "Symbol not found: _objc_opt_self\n  Referenced from: " +
                                                         image("newer") + "\n  Expected in: /usr/lib/libobjc.A.dylib\n");
    EXPECT_EQ(refusal("newer", "iPhone 8", "13.7"), "");
    // Every substrate's CydiaSubstrate is taken as built for an iOS before 12: held on every release.
    for (const char* release : {"10.3", "12.4", "14.8"})
        EXPECT_EQ(refusal("incompatible", "iPhone 7", release),
                  "Library not loaded: /Library/Frameworks/CydiaSubstrate.framework/CydiaSubstrate\n  Referenced from: " +
                      image("incompatible") + "\n  Reason: Incompatible library version: device_core_incompatible.dylib "
                                              "requires version 1.0.0 or later, but CydiaSubstrate provides version 0.0.0")
            << release;
    EXPECT_EQ(refusal("unknown_library"), "Library not loaded: /usr/lib/libtwinly_nowhere.dylib\n  Referenced from: " +
                                              image("unknown_library") + "\n  Reason: image not found");
}

TEST(DeviceCoreLoader, AnArm64eProcessRefusesArm64FromIos12) {
    EXPECT_EQ(refusal("weak", "iPhone XS", "12.0"), "arm64 dylibs cannot be loaded into arm64e processes");
    EXPECT_EQ(refusal("weak", "iPhone 11", "14.8"), "arm64 dylibs cannot be loaded into arm64e processes");
    EXPECT_EQ(refusal("weak", "iPhone X", "14.8"), "");
}

TEST(DeviceCoreReleases, AModelRunsOnlyTheReleasesItRan) {
    EXPECT_THROW(deviceNamed("iPhone XS", "10.3"), std::invalid_argument);
    EXPECT_THROW(deviceNamed("iPhone 8", "10.3"), std::invalid_argument);
    EXPECT_THROW(deviceNamed("iPhone 7", "12.5"), std::invalid_argument) << "12.5 went to the A7 and A8 alone";
    EXPECT_THROW(deviceNamed("iPhone 7", "9.3"), std::invalid_argument) << "a line the device does not model";
    EXPECT_THROW(deviceNamed("Pixel", "12.4"), std::invalid_argument);
    EXPECT_THROW(deviceNamed("iPhone 7", "12"), std::invalid_argument);
    Device chosen = deviceNamed("iPhone 5s", "12.5.7");
    EXPECT_EQ(chosen.release, version(12, 5, 7));
    EXPECT_STREQ(chosen.line->dyld, "dyld-635.2");
}

// ---- dyld's opcodes ----

std::vector<uint8_t> bytes(std::initializer_list<int> values) { return std::vector<uint8_t>(values.begin(), values.end()); }

TEST(DeviceCoreFixups, EveryRebaseOpcode) {
    auto stream = bytes({0x11,             // set type: pointer
                         0x22, 0x10,       // segment 2, offset 0x10
                         0x52,             // rebase twice: 0x10, 0x18
                         0x41,             // add 8 scaled by 1
                         0x61, 0x01,       // rebase once (uleb times): 0x28
                         0x30, 0x80, 0x02, // add 0x100 (a two-byte uleb)
                         0x71, 0x08,       // rebase, then add 8 + 8: 0x130
                         0x82, 0x02, 0x08, // rebase twice, skipping 8: 0x140, 0x150
                         0x00,             // done
                         0xf0});           // never read
    std::vector<Rebase> found = decodeRebases(stream.data(), stream.data() + stream.size());
    std::vector<uint64_t> offsets;
    for (const Rebase& rebase : found) {
        EXPECT_EQ(rebase.segment, 2u);
        offsets.push_back(rebase.offset);
    }
    EXPECT_EQ(offsets, (std::vector<uint64_t>{0x10, 0x18, 0x28, 0x130, 0x140, 0x150}));
    auto bad = bytes({0x21, 0x00, 0xe0});
    EXPECT_THROW(decodeRebases(bad.data(), bad.data() + bad.size()), LoadError);
}

TEST(DeviceCoreFixups, EveryBindOpcodeAndLazyEntries) {
    auto stream = bytes({0x12,                    // ordinal 2
                         0x40, '_', 'a', 0,       // symbol _a
                         0x51,                    // type pointer
                         0x71, 0x00,              // segment 1, offset 0
                         0x90,                    // bind at 0
                         0x60, 0x78,              // addend -8
                         0x20, 0xac, 0x02,        // ordinal 300
                         0x41, '_', 'b', 0,       // symbol _b, a weak import
                         0xa0, 0x10,              // bind at 8, then add 8 + 0x10
                         0xb2,                    // bind at 0x20, then add 8 + 16
                         0x80, 0x08,              // add 8: 0x40
                         0x3f,                    // special ordinal -1
                         0xc0, 0x02, 0x08,        // bind twice, skipping 8: 0x40, 0x50
                         0x00});
    std::vector<Bind> found = decodeBinds(stream.data(), stream.data() + stream.size());
    ASSERT_EQ(found.size(), 5u);
    EXPECT_EQ((std::vector<uint64_t>{found[0].offset, found[1].offset, found[2].offset, found[3].offset, found[4].offset}),
              (std::vector<uint64_t>{0x0, 0x8, 0x20, 0x40, 0x50}));
    EXPECT_EQ(found[0].symbol, "_a");
    EXPECT_EQ(found[0].ordinal, 2);
    EXPECT_FALSE(found[0].weakImport);
    EXPECT_EQ(found[1].symbol, "_b");
    EXPECT_EQ(found[1].ordinal, 300);
    EXPECT_EQ(found[1].addend, -8);
    EXPECT_TRUE(found[1].weakImport);
    EXPECT_EQ(found[3].ordinal, -1);
    EXPECT_EQ(found[4].segment, 1u);

    // Lazy entries, each ending in done; the lazy binder starts at one of them.
    auto lazy = bytes({0x72, 0x30, 0x11, 0x40, '_', 'c', 0, 0x90, 0x00, 0x72, 0x38, 0x13, 0x40, '_', 'd', 0, 0x90, 0x00});
    EXPECT_EQ(decodeLazyBinds(lazy.data(), lazy.data() + lazy.size()).size(), 2u);
    std::vector<Bind> second = decodeLazyBinds(lazy.data() + 9, lazy.data() + lazy.size());
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0].symbol, "_d");
    EXPECT_EQ(second[0].ordinal, 3);
    EXPECT_EQ(second[0].offset, 0x38u);

    auto unnamed = bytes({0x11, 0x71, 0x00, 0x90});
    EXPECT_THROW(decodeBinds(unnamed.data(), unnamed.data() + unnamed.size()), LoadError);
    auto cut = bytes({0x20, 0x80});
    EXPECT_THROW(decodeBinds(cut.data(), cut.data() + cut.size()), LoadError);
}

// ---- the link stubs stand for the device's libraries ----

TEST(DeviceCoreLibraries, EachLinkStubStatesTheVersionsOfItsLibrary) {
    std::regex field("^(install-name|current-version|compatibility-version): *'?([^'\n]+)'?$", std::regex::multiline);
    for (const auto& entry : std::filesystem::directory_iterator(DEVICE_STUBS)) {
        std::ifstream in(entry.path());
        std::stringstream text;
        text << in.rdbuf();
        std::map<std::string, std::string> fields;
        std::string all = text.str();
        for (std::sregex_iterator at(all.begin(), all.end(), field), end; at != end; ++at) fields[(*at)[1]] = (*at)[2];
        SCOPED_TRACE(entry.path().filename().string());
        const DeviceLibrary* library = deviceLibrary(fields["install-name"]);
        ASSERT_NE(library, nullptr);
        ASSERT_TRUE(fields.count("current-version") && fields.count("compatibility-version"));
        EXPECT_EQ(version(std::stoul(fields["compatibility-version"])), library->compatibility);
        EXPECT_EQ(version(std::stoul(fields["current-version"])), library->current);
    }
}

} // namespace
