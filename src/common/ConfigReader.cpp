#include "common/ConfigReader.h"

#include <iostream>
#include <limits>

namespace {

// The stream's slot for its origin: an owned std::string*, freed with the stream.
int OriginSlot() {
    static const int slot = std::ios_base::xalloc();
    return slot;
}

void OriginEvent(std::ios_base::event event, std::ios_base& stream, int slot) {
    void*& stored = stream.pword(slot);
    if (event == std::ios_base::erase_event) {
        delete static_cast<std::string*>(stored);
        stored = nullptr;
    } else if (event == std::ios_base::copyfmt_event && stored) {
        // copyfmt copied the pointer: the copy gets a string of its own.
        stored = new std::string(*static_cast<std::string*>(stored));
    }
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

void CConfigReader::SetOrigin(std::ios_base& stream, const std::string& path) {
    void*& stored = stream.pword(OriginSlot());
    if (stored) {
        *static_cast<std::string*>(stored) = path;
        return;
    }
    stored = new std::string(path);
    stream.register_callback(OriginEvent, OriginSlot());
}

std::string CConfigReader::OriginOf(std::ios_base& stream) {
    const void* stored = stream.pword(OriginSlot());
    return stored ? *static_cast<const std::string*>(stored) : std::string();
}

std::string CConfigReader::Resolve(const std::string& folder, const std::string& path) {
    const bool absolute = (!path.empty() && (path[0] == '/' || path[0] == '\\')) || (path.size() > 1 && path[1] == ':');
    if (absolute || folder.empty() || path.empty()) return path;
    return folder.back() == '/' ? folder + path : folder + "/" + path;
}

bool CConfigReader::NextToken(std::string& token) {
    if (!in_ || failed_) return false;
    while (*in_ >> token) {
        if (token[0] != '#') return true;
        in_->ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    }
    failed_ = true;
    return false;
}

bool CConfigReader::ReadPath(std::string& path) {
    std::string word;
    if (!Read(word)) return false;
    path = ResolvePath(word);
    return true;
}

std::string CConfigReader::ResolvePath(const std::string& word) const {
    return Resolve(in_ ? FolderOf(OriginOf(*in_)) : std::string(), word);
}

std::string CConfigReader::FileName() const {
    const std::string origin = in_ ? OriginOf(*in_) : std::string();
    return origin.empty() ? fallbackName_ : origin;
}

void CConfigReader::Refuse(const std::string& keyword, const std::string& value, const std::string& rule,
                           const std::string& kept) const {
    std::cerr << FileName() << ": " << keyword << " " << value << " refused (" << rule << "); keeping " << kept
              << std::endl;
}
