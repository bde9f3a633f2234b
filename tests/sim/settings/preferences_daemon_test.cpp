// The preferences daemon, as on iOS 8 and later: it takes a value at once and writes the file later.
#include "sim/platform/objects.hpp"
#include "sim/platform/root.hpp"
#include "sim/settings/preferences_daemon.hpp"

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

namespace {

TEST(PreferencesDaemon, WritesAValueOnlyLater) {
    sim::makeFreshRoot();
    NS::AutoreleasePool pool;
    const std::string domain = "com.qzr.twinlyprefs";
    sim::settings::setPreference(domain, NS::String::make("greyText"),
                                 objc::Object(NS::classNamed("NSNumber").send<id>(objc::sel<"numberWithBool:">(), NO)));
    std::string path = sim::hostPath(sim::settings::preferencesPath(domain));
    EXPECT_FALSE(std::ifstream(path).is_open());
    sim::settings::writePendingPreferences();
    std::stringstream file;
    file << std::ifstream(path).rdbuf();
    EXPECT_NE(file.str().find("<key>greyText</key>"), std::string::npos) << file.str();
    EXPECT_NE(file.str().find("<false/>"), std::string::npos) << file.str();
    sim::removeRoot();
}

} // namespace
