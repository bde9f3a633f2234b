// A fresh simulated device for each case, with the Settings app ready to load the bundle.
#pragma once

#include "sim/platform/objects.hpp"
#include "sim/platform/root.hpp"
#include "sim/settings/app.hpp"
#include "sim/uikit/uikit.hpp"

#include <gtest/gtest.h>

// The page's tint: its bar, its switches and the key window while it shows.
inline const sim::ui::Rgba kAccent{58.0 / 255, 121.0 / 255, 180.0 / 255, 1};

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override { sim::makeFreshRoot(); }
    void TearDown() override {
        sim::settings::resetApp();
        sim::ui::endProcess();
        sim::removeRoot();
    }

    static PS::ListController openPage() {
        sim::settings::openPage();
        return sim::settings::page();
    }
    static UI::View bannerHeader(PS::ListController page) {
        return page.table().send<UI::View>(objc::sel<"tableHeaderView">());
    }

    NS::AutoreleasePool pool;
};
