// A simulated Music app in which this process's own copy of the tweak runs, so that a test can read
// the tweak's state.
#pragma once

#include "sim/mediaplayer/media_library.hpp"
#include "sim/music/app.hpp"
#include "tweak/state.hpp"

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

class TweakTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    NS::AutoreleasePool pool;
};

// The titles of `targetPlaylistSongTitles`, or nothing while the list is absent.
std::optional<std::vector<std::string>> targetTitles();
std::optional<std::string> text(NS::String string);
