#include "sim/script/words.hpp"

#include <cmath>
#include <cstdlib>

namespace sim {

Line tokenize(const std::string& text) {
    Line line;
    size_t at = 0;
    auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    // A # followed by a digit is a row or playlist number (tap #2, "Mix"#2), not a comment.
    auto startsComment = [&](size_t i) { return text[i] == '#' && !(i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '9'); };
    while (at < text.size()) {
        char c = text[at];
        if (isSpace(c)) {
            ++at;
        } else if (startsComment(at)) {
            break;
        } else if (c == '"') {
            Token token{"", true};
            for (++at;; ++at) {
                if (at >= text.size()) throw ScriptError("expected a closing \", found the end of the line");
                if (text[at] == '"') break;
                if (text[at] == '\\') {
                    if (at + 1 >= text.size() || (text[at + 1] != '"' && text[at + 1] != '\\'))
                        throw ScriptError("expected \\\" or \\\\ in a string, found another escape");
                    ++at;
                }
                token.text += text[at];
            }
            ++at;
            line.tokens.push_back(token);
        } else {
            // A word ends at a space, a comment, or where a string begins (KEY="value").
            Token token;
            token.text += text[at++];
            while (at < text.size() && !isSpace(text[at]) && text[at] != '"' && !startsComment(at)) token.text += text[at++];
            line.tokens.push_back(token);
        }
    }
    return line;
}

const Token& Words::take(const char* what) {
    if (atEnd()) throw ScriptError(std::string("expected ") + what + ", found the end of the line");
    return tokens_[next_++];
}

std::string Words::word(const char* what) {
    const Token& token = take(what);
    if (token.quoted) throw ScriptError(std::string("expected ") + what + ", found \"" + token.text + "\"");
    return token.text;
}

size_t Words::oneOf(std::initializer_list<const char*> choices) {
    std::string listed;
    for (const char* const& choice : choices) {
        if (skip(choice)) return size_t(&choice - choices.begin());
        listed += (listed.empty() ? "" : &choice == choices.end() - 1 ? " or " : ", ") + std::string(choice);
    }
    const Token& found = take(listed.c_str());
    throw ScriptError("expected " + listed + ", found " + describe(found));
}

std::string Words::text(const char* what) {
    const Token& token = take(what);
    if (!token.quoted) throw ScriptError(std::string("expected ") + what + " in quotes, found " + token.text);
    return token.text;
}

std::optional<std::string> Words::textOrNone(const char* what) {
    const Token& token = take(what);
    if (token.quoted) return token.text;
    if (token.text == "none") return std::nullopt;
    throw ScriptError(std::string("expected ") + what + " in quotes or none, found " + token.text);
}

size_t Words::wholeNumber(const std::string& text, const char* what) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        throw ScriptError(std::string("expected ") + what + ", found " + text);
    return std::stoul(text);
}

std::optional<size_t> Words::numbered(const char* what) {
    const Token* next = peek();
    if (!next || next->quoted || next->text.size() < 2 || next->text[0] != '#') return std::nullopt;
    size_t number = wholeNumber(take(what).text.substr(1), what);
    if (number == 0) throw ScriptError(std::string("expected ") + what + " from 1, found #0");
    return number;
}

double Words::decimal(const char* what) {
    std::string text = word(what);
    char* end = nullptr;
    double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value)) throw ScriptError(std::string("expected ") + what + ", found " + text);
    return value;
}

bool Words::skip(const char* word) {
    if (atEnd() || tokens_[next_].quoted || tokens_[next_].text != word) return false;
    ++next_;
    return true;
}

Line Words::rest() {
    Line line{std::vector<Token>(tokens_.begin() + long(next_), tokens_.end())};
    next_ = tokens_.size();
    return line;
}

void Words::expect(const char* expected) {
    std::string found = word(expected);
    if (found != expected) throw ScriptError(std::string("expected ") + expected + ", found " + found);
}

void Words::end() {
    if (!atEnd()) throw ScriptError("expected the end of the line, found " + describe(tokens_[next_]));
}

} // namespace sim
