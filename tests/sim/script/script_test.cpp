// The lexical rules of scenario scripts.
#include "sim/script/words.hpp"

#include <gtest/gtest.h>

namespace {

std::vector<sim::Token> tokens(const std::string& text) { return sim::tokenize(text).tokens; }

TEST(Tokenize, SplitsWordsAndStringsAndDropsComments) {
    auto found = tokens("song a\t\"Hey \\\"Jude\\\" \\\\ 1\"   # a comment \"not a string\"");
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0].text, "song");
    EXPECT_FALSE(found[0].quoted);
    EXPECT_EQ(found[2].text, "Hey \"Jude\" \\ 1");
    EXPECT_TRUE(found[2].quoted);
    EXPECT_TRUE(tokens("   # only a comment").empty());
    EXPECT_EQ(tokens("layout# at once").size(), 1u);
}

TEST(Tokenize, TellsTheEmptyStringAndTheStringNoneFromTheWordNone) {
    auto found = tokens("song a \"\" \"none\" none");
    ASSERT_EQ(found.size(), 5u);
    EXPECT_TRUE(found[2].quoted);
    EXPECT_EQ(found[2].text, "");
    EXPECT_TRUE(found[3].quoted);
    EXPECT_FALSE(found[4].quoted);
}

TEST(Tokenize, KeepsNumbersAfterAHashAndSplitsValuesFromTheirKey) {
    auto tap = tokens("tap #2");
    ASSERT_EQ(tap.size(), 2u);
    EXPECT_EQ(tap[1].text, "#2");
    auto named = tokens("expect playlist \"Mix\"#2 a");
    ASSERT_EQ(named.size(), 5u);
    EXPECT_EQ(named[2].text, "Mix");
    EXPECT_EQ(named[3].text, "#2");
    auto pair = tokens("prefs title=\"a b\"");
    ASSERT_EQ(pair.size(), 3u);
    EXPECT_EQ(pair[1].text, "title=");
    EXPECT_EQ(pair[2].text, "a b");
}

TEST(Tokenize, RejectsAnOpenStringAndUnknownEscapes) {
    EXPECT_THROW(tokens("song a \"Hey"), sim::ScriptError);
    EXPECT_THROW(tokens("song a \"Hey\\n\""), sim::ScriptError);
    EXPECT_THROW(tokens("song a \"Hey\\"), sim::ScriptError);
}

} // namespace
