// The runner as a user runs it: each file in a fresh device, FILE:LINE: messages for what failed,
// and an exit status that says whether every expectation held.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

struct Outcome {
    int status;
    std::string output; // stdout and stderr together
};

class Runner : public ::testing::Test {
protected:
    // Of this process alone: two runs of the suite at once on one machine must not share it.
    void SetUp() override {
        folder_ = std::filesystem::temp_directory_path() /
                  ("twinly-runner-" + std::to_string(getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(folder_);
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    std::string script(const std::string& name, const std::string& text) {
        std::filesystem::path path = folder_ / name;
        std::ofstream(path) << text;
        return path.string();
    }

    static Outcome runSim(const std::string& arguments) {
        Outcome result{0, ""};
        FILE* pipe = popen((std::string(TWINLY_SIM) + " " + arguments + " 2>&1").c_str(), "r");
        char buffer[4096];
        while (size_t read = fread(buffer, 1, sizeof buffer, pipe)) result.output.append(buffer, read);
        int status = pclose(pipe);
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return result;
    }

private:
    std::filesystem::path folder_;
};

TEST_F(Runner, ReportsTheFirstFailingLineAndStopsThatFile) {
    std::string file = script("failing.scn", "song a \"Hey Jude\"\n"
                                             "playlist \"Mix\" a\n"
                                             "\n"
                                             "expect playlist \"Mix\" a a   # not so\n"
                                             "expect playlist \"Nope\" empty\n");
    Outcome result = runSim(file);
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.output.find(file + ":4: expected playlist \"Mix\" a a, found a"), std::string::npos) << result.output;
    EXPECT_EQ(result.output.find(":5:"), std::string::npos) << result.output;
}

TEST_F(Runner, FailsLinesItCannotParseOrDo) {
    EXPECT_NE(runSim(script("unknown.scn", "jump\n")).output.find("unknown.scn:1: expected a command"), std::string::npos);
    EXPECT_NE(runSim(script("open.scn", "song a \"Hey\n")).output.find("open.scn:1: expected a closing"), std::string::npos);
    Outcome notRunning = runSim(script("idle.scn", "open picker\n"));
    EXPECT_EQ(notRunning.status, 1);
    EXPECT_NE(notRunning.output.find("idle.scn:1: cannot do that: the Music app is not running"), std::string::npos)
        << notRunning.output;
    Outcome noAlert = runSim(script("press.scn", "launch\npress \"Skip\"\n"));
    EXPECT_NE(noAlert.output.find("press.scn:2: expected an alert on screen"), std::string::npos) << noAlert.output;
    // An app without a class cannot do what needs it; which classes it lacks is fixed at launch.
    Outcome lacking = runSim(script("lacking.scn", "song a \"Hey\"\nleave out class \"Music.SearchResultCell\"\nlaunch\n"
                                                   "open playlist \"Mix\"\nopen picker\nsearch \"H\"\n"));
    EXPECT_NE(lacking.output.find("lacking.scn:6: cannot do that: the app has no Music.SearchResultCell"),
              std::string::npos)
        << lacking.output;
    Outcome late = runSim(script("late.scn", "launch\nleave out class \"MPUMarqueeView\"\n"));
    EXPECT_NE(late.output.find("late.scn:2: expected leave out class before launch"), std::string::npos) << late.output;
}

// An alert covers the app: a line that reaches the app under it fails, while the device goes on.
TEST_F(Runner, FailsWhatTheUserCannotDoUnderAnAlert) {
    std::string setUp = "song a \"Hey Jude\"\n"
                        "playlist \"Mix\" a\n"
                        "launch\n"
                        "open playlist \"Mix\"\n"
                        "open picker\n"
                        "tap \"Hey Jude\"\n";
    Outcome allowed = runSim(script("allowed.scn", setUp + "layout\nwait\nnotify\nexpect dimmed \"Hey Jude\"\n"
                                                           "press \"Skip\"\ntap \"Hey Jude\"\n"));
    EXPECT_EQ(allowed.status, 0) << allowed.output;
    for (const char* line : {"tap \"Hey Jude\"", "close picker done", "open playlist \"Mix\"", "search \"Hey\""}) {
        Outcome covered = runSim(script("covered.scn", setUp + line + "\n"));
        EXPECT_EQ(covered.status, 1) << line;
        EXPECT_NE(covered.output.find("covered.scn:7: cannot " + std::string(line).substr(0, std::string(line).find(' ')) +
                                      ": an alert is on screen (\"This song is already in your playlist.\")"),
                  std::string::npos)
            << covered.output;
    }
}

TEST_F(Runner, RunsEveryFileInAFreshDeviceAndFailsWhenAnyFails) {
    // The first file leaves songs, a playlist and a preferences file behind in its own device.
    std::string first = script("first.scn", "song a \"Hey Jude\"\n"
                                            "playlist \"Mix\" a\n"
                                            "prefs greyText=no\n"
                                            "launch\n");
    std::string second = script("second.scn", "song a \"Yesterday\"\n"
                                              "playlist \"Mix\" a\n"
                                              "launch\n"
                                              "open playlist \"Mix\"\n"
                                              "open picker\n"
                                              "expect dimmed \"Yesterday\"\n"
                                              "expect playlist \"Mix\" a\n");
    std::string failing = script("failing.scn", "expect no alert\nexpect playlist \"Mix\" empty\n");
    Outcome both = runSim(first + " " + second);
    EXPECT_EQ(both.status, 0) << both.output;
    Outcome withFailure = runSim(first + " " + failing + " " + second);
    EXPECT_EQ(withFailure.status, 1);
    EXPECT_NE(withFailure.output.find("failing.scn:2: expected playlist \"Mix\" empty, found no such playlist"),
              std::string::npos)
        << withFailure.output;
    EXPECT_NE(withFailure.output.find("== " + second), std::string::npos);
}

TEST_F(Runner, PrintsWhatTheUserSees) {
    Outcome result = runSim(script("seen.scn", "song a \"Hey Jude\"\n"
                                        "song b \"Yesterday\"\n"
                                        "playlist \"Mix\" a\n"
                                        "launch\n"
                                        "open playlist \"Mix\"\n"
                                        "open picker\n"
                                        "tap \"Hey Jude\"\n"
                                        "press \"Add Again\"\n"
                                        "expect log \"added \\\"Hey Jude\\\" to \\\"Mix\\\"\"\n"));
    EXPECT_EQ(result.status, 0) << result.output;
    for (const char* seen : {"playlist page \"Mix\"", "rows: \"Hey Jude\" (dimmed), \"Yesterday\"",
                             "alert: \"This song is already in your playlist.\" [Add Again] [Skip], preferred \"Skip\"",
                             "library: added \"Hey Jude\" to \"Mix\""})
        EXPECT_NE(result.output.find(seen), std::string::npos) << seen << "\n" << result.output;
}

// A picture after each line that changes what is shown, of the app that changed last; the same
// bytes on every run.
TEST_F(Runner, DrawsEachScreenItPassesThroughTheSameOnEveryRun) {
    std::string file = script("shown.scn", "song a \"Hey Jude\"\n"
                                           "playlist \"Mix\" a\n"
                                           "launch\n"
                                           "open playlist \"Mix\"\n"
                                           "layout\n"
                                           "open picker\n"
                                           "tap \"Hey Jude\"\n"
                                           "settings open\n"
                                           "press \"Skip\"\n");
    std::filesystem::path folder = std::filesystem::path(file).parent_path();
    auto bytes = [&](const std::string& run, int picture) {
        std::ifstream in(folder / run / ("shown-0" + std::to_string(picture) + ".png"), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    for (const char* run : {"first", "second"}) {
        Outcome result = runSim("--screens " + (folder / run).string() + " " + file);
        EXPECT_EQ(result.status, 0) << result.output;
    }
    // The playlist page, the picker, the alert over it, the settings page, the picker again.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder / "first"), {}), 5);
    for (int picture = 1; picture <= 5; ++picture) {
        EXPECT_GT(bytes("first", picture).size(), 1000u) << picture;
        EXPECT_EQ(bytes("first", picture), bytes("second", picture)) << picture;
    }
    EXPECT_EQ(bytes("first", 5), bytes("first", 2));
    EXPECT_NE(bytes("first", 3), bytes("first", 2));
}

TEST_F(Runner, ListsItsCommands) {
    Outcome help = runSim("--help");
    EXPECT_EQ(help.status, 0);
    for (const char* command : {"open playlist", "expect app touches began N ended M", "settings switch", "prefs binary"})
        EXPECT_NE(help.output.find(command), std::string::npos) << command;
    EXPECT_EQ(runSim("").status, 2);
}

} // namespace
