// twinly-sim: runs scenario scripts against the simulated device, each file in a fresh device (a
// child process of its own), printing a transcript of what the user sees.
#include "objc/foundation.hpp"
#include "sim/device_core/loader.hpp"
#include "sim/device_core/package.hpp"
#include "sim/platform/root.hpp"
#include "sim/script/commands.hpp"
#include "sim/script/screens.hpp"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>

namespace {

// Where --screens puts the pictures of the screens; empty without it.
std::string screensFolder;

// Runs every line of the file; at the first that fails, reports it and stops.
bool runFile(const std::string& file) {
    std::ifstream in(file);
    if (!in) {
        std::cerr << file << ": cannot be read\n";
        return false;
    }
    NS::AutoreleasePool pool;
    sim::startScript();
    if (!screensFolder.empty()) sim::recordScreensInto(screensFolder, std::filesystem::path(file).stem());
    std::cout << "== " << file << '\n';
    std::string text;
    int number = 0;
    bool passed = true;
    while (passed && std::getline(in, text)) {
        ++number;
        try {
            sim::Line line = sim::tokenize(text);
            if (line.tokens.empty()) continue;
            std::cout << "> " << text.substr(0, text.find_last_not_of(" \t\r") + 1) << '\n';
            sim::runLine(line);
            sim::recordScreen();
        } catch (const std::exception& error) {
            std::cout.flush();
            std::cerr << file << ':' << number << ": " << error.what() << '\n';
            passed = false;
        }
    }
    try {
        sim::endScript();
    } catch (const std::exception& error) {
        std::cerr << file << ": at the end: " << error.what() << '\n';
        passed = false;
    }
    sim::removeRoot();
    std::cout << (passed ? "passed\n" : "FAILED\n");
    return passed;
}

// A fresh device per file: the file runs in a child process of its own.
bool runFileInChild(const std::string& file) {
    std::cout.flush();
    std::cerr.flush();
    pid_t child = fork();
    if (child < 0) {
        std::perror("fork");
        return false;
    }
    if (child == 0) {
        bool passed = runFile(file);
        std::cout.flush();
        std::cerr.flush();
        _exit(passed ? 0 : 1);
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child) return false;
    if (WIFSIGNALED(status)) std::cerr << file << ": the simulator died of signal " << WTERMSIG(status) << '\n';
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
        sim::printHelp(std::cout);
        return 0;
    }
    std::string package;
    int first = 1;
    for (; first + 1 < argc; first += 2) {
        std::string option = argv[first];
        if (option == "--package") package = argv[first + 1];
        else if (option == "--screens") screensFolder = argv[first + 1];
        else break;
    }
    if (first >= argc || std::string(argv[first]).rfind("--", 0) == 0) {
        std::cerr << "usage: twinly-sim [--package FILE.deb] [--screens DIR] FILE... (twinly-sim --help lists the commands)\n";
        return 2;
    }
    if (!screensFolder.empty()) {
        std::error_code failed;
        std::filesystem::create_directories(screensFolder, failed);
        if (failed) {
            std::cerr << screensFolder << ": " << failed.message() << '\n';
            return 2;
        }
    }
    if (!package.empty()) {
        try {
            sim::device::usePackage(package);
        } catch (const sim::device::LoadError& error) {
            std::cerr << error.what() << '\n';
            return 2;
        }
    }
    bool allPassed = true;
    for (int arg = first; arg < argc; ++arg) allPassed = runFileInChild(argv[arg]) && allPassed;
    sim::device::removePackage();
    return allPassed ? 0 : 1;
}
