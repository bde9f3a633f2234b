// A line of a scenario script as words, and the one reader of its words, which fails the line with
// what it expected and what it found.
#pragma once

#include "sim/platform/transcript.hpp"

#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

namespace sim {

// A word of a script line; `quoted` tells the string "none" from the word none.
struct Token {
    std::string text;
    bool quoted = false;
};

struct Line {
    std::vector<Token> tokens;
};

// Splits one line of a script by the lexical rules: words, "strings" with \" and \\ escapes,
// comments from a # that does not begin a number (#2), to the end of the line. Throws ScriptError.
Line tokenize(const std::string& text);

// Reads the tokens of one line in order; each reading throws ScriptError naming what it expected.
class Words {
public:
    explicit Words(const Line& line) : tokens_(line.tokens) {}

    bool atEnd() const { return next_ >= tokens_.size(); }
    const Token& take(const char* what);
    // A word, not in quotes.
    std::string word(const char* what);
    // Which of these words comes next, counted from 0.
    size_t oneOf(std::initializer_list<const char*> choices);
    // A text in quotes.
    std::string text(const char* what);
    // A quoted text, or the word none.
    std::optional<std::string> textOrNone(const char* what);
    // A whole number from 0 (a count, a row), and any finite decimal number.
    size_t count(const char* what) { return wholeNumber(word(what), what); }
    double decimal(const char* what);
    // A word #N when one comes next (a row, the Nth playlist of a name): N, from 1.
    std::optional<size_t> numbered(const char* what);
    static size_t wholeNumber(const std::string& text, const char* what);
    // The next token, not taken; null at the end of the line.
    const Token* peek() const { return atEnd() ? nullptr : &tokens_[next_]; }
    bool nextIsQuoted() const { return !atEnd() && tokens_[next_].quoted; }
    // Takes the next word when it is this one.
    bool skip(const char* word);
    // Takes the tokens left, as a line of their own.
    Line rest();
    void expect(const char* word);
    void end();

    static std::string describe(const Token& token) { return token.quoted ? "\"" + token.text + "\"" : token.text; }

private:
    const std::vector<Token>& tokens_;
    size_t next_ = 0;
};

} // namespace sim
