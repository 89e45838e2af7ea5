// Token reader shared by every configuration file of the system.
//
// A file is a stream of whitespace-separated tokens: a keyword ending with ":" is followed by its
// value token(s); a token whose first character is "#" comments out the rest of its line; any
// other token is skipped by the caller. Values are read by formatted extraction, and the first
// value that does not parse ends the reading (Read* return false and every later call fails).
// The reader does not own the stream; a null stream reads as an empty file.
#pragma once

#include <istream>
#include <string>

class CConfigReader {
public:
    explicit CConfigReader(std::istream* in) : in_(in) {}

    // Next token that is not part of a comment; false at the end or after a failed value.
    bool NextToken(std::string& token);

    bool Read(int& value) { return Extract(value); }
    bool Read(float& value) { return Extract(value); }
    bool Read(double& value) { return Extract(value); }
    bool Read(std::string& word) { return Extract(word); }

private:
    template <typename T>
    bool Extract(T& value) {
        if (!in_ || failed_) return false;
        T read{};
        if (!(*in_ >> read)) {
            failed_ = true;
            return false;
        }
        value = read;
        return true;
    }

    std::istream* in_;
    bool failed_ = false;
};
