#include "FuzzFiles.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace fuzzfiles {

const std::string& Folder() {
    static const std::string folder = [] {
        const char* base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string pattern = std::string(base) + "/vantorel_fuzz_XXXXXX";
        if (!::mkdtemp(pattern.data())) std::abort();
        return pattern + "/";
    }();
    return folder;
}

std::string Write(const std::string& name, const std::uint8_t* data, std::size_t size) {
    const std::string path = Folder() + name;
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data), size);
    return path;
}

std::string Write(const std::string& name, const std::string& text) {
    return Write(name, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

std::vector<std::string> SplitParts(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t mark = text.find("\n%%\n", start);
        if (mark == std::string::npos) {
            parts.push_back(text.substr(start));
            return parts;
        }
        parts.push_back(text.substr(start, mark + 1 - start));
        start = mark + 4;
    }
}

}  // namespace fuzzfiles
