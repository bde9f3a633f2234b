#include "tweak_fixture.hpp"

#include "sim/platform/objects.hpp"
#include "sim/platform/root.hpp"
#include "tests/support/session.hpp"

void TweakTest::SetUp() {
    sim::makeFreshRoot();
    support::launchWithOwnTweak();
}

void TweakTest::TearDown() {
    if (sim::music::running()) support::quitWithOwnTweak();
    sim::removeRoot();
}

std::optional<std::vector<std::string>> targetTitles() {
    NS::MutableArray list = tweakState.targetPlaylistSongTitles.list();
    if (!list) return std::nullopt;
    std::vector<std::string> titles;
    for (NS::String title : NS::each<NS::String>(list)) titles.push_back(title.UTF8String());
    return titles;
}

std::optional<std::string> text(NS::String string) { return sim::text(string); }
