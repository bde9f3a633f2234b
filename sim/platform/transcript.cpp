#include "sim/platform/transcript.hpp"

#include <cstdlib>
#include <iostream>
#include <sstream>

namespace sim {

namespace {
std::string& transcriptBuffer() {
    static std::string text;
    return text;
}
} // namespace

void transcript(const std::string& text) {
    std::cout << text << '\n';
    transcriptBuffer() += text;
    transcriptBuffer() += '\n';
}

const std::string& transcriptText() { return transcriptBuffer(); }

void endRun(const std::string& message) {
    std::cout.flush();
    std::cerr << message << std::endl;
    std::abort();
}

std::string quotedList(const std::vector<std::string>& texts, const std::string& separator) {
    std::string list;
    for (const std::string& text : texts) list += (list.empty() ? "" : separator) + quoted(text);
    return list;
}

std::string shortNumber(double value) {
    std::ostringstream text;
    text << value;
    return text.str();
}

} // namespace sim
