// Token reader shared by every configuration file of the system.
//
// A file is a stream of whitespace-separated tokens: a keyword ending with ":" is followed by its
// value token(s); a token whose first character is "#" comments out the rest of its line; any
// other token is skipped by the caller. Values are read by formatted extraction, and the first
// value that does not parse ends the reading (Read* return false and every later call fails).
// The reader does not own the stream; a null stream reads as an empty file.
//
// A stream may carry the path of the file it was read from (SetOrigin): relative file names in it
// (ReadPath) are then taken relative to that file's folder, and refused values are reported under
// that path; without an origin, names are used as written and reports name the fallback given.
#pragma once

#include <ios>
#include <istream>
#include <sstream>
#include <string>

class CConfigReader {
public:
    explicit CConfigReader(std::istream* in, const char* fallbackName = "") : in_(in), fallbackName_(fallbackName) {}

    // Stores path in the stream itself, so that every parser handed the stream finds it.
    static void SetOrigin(std::ios_base& stream, const std::string& path);
    // The origin set on the stream, or empty.
    static std::string OriginOf(std::ios_base& stream);
    // path unchanged when it is absolute (also a drive or backslash path) or folder is empty;
    // else folder + "/" + path.
    static std::string Resolve(const std::string& folder, const std::string& path);

    // Next token that is not part of a comment; false at the end or after a failed value.
    bool NextToken(std::string& token);

    bool Read(int& value) { return Extract(value); }
    bool Read(float& value) { return Extract(value); }
    bool Read(double& value) { return Extract(value); }
    bool Read(std::string& word) { return Extract(word); }
    // A file name: relative names are taken relative to the origin's folder.
    bool ReadPath(std::string& path);
    std::string ResolvePath(const std::string& word) const;

    // The origin's path, else the fallback name: how messages name the file.
    std::string FileName() const;
    // One line on stderr: "<file>: <keyword> <value> refused (<rule>); keeping <kept>".
    void Refuse(const std::string& keyword, const std::string& value, const std::string& rule,
                const std::string& kept) const;

    // Reads a value into field when accepted(value) holds; otherwise reports it (Refuse) and keeps
    // field. False only when the value does not parse, which ends the reading as Read does.
    template <typename T, typename Accept>
    bool ReadChecked(const std::string& keyword, T& field, Accept accepted, const std::string& rule) {
        T value{};
        if (!Read(value)) return false;
        if (accepted(value)) field = value;
        else Refuse(keyword, Text(value), rule, Text(field));
        return true;
    }

    template <typename T>
    static std::string Text(const T& value) {
        std::ostringstream text;
        text << value;
        return text.str();
    }

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
    const char* fallbackName_;
    bool failed_ = false;
};
