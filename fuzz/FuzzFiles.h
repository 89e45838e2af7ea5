// Scratch files for the fuzz targets: the parsers under test read files by name, so each input is
// written to a file in a folder of this process's own, under /dev/shm when there is one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzzfiles {

// The process's scratch folder (created on first use), with a trailing "/".
const std::string& Folder();
// Writes bytes to Folder() + name and returns the path.
std::string Write(const std::string& name, const std::uint8_t* data, std::size_t size);
std::string Write(const std::string& name, const std::string& text);
// The input split at every line holding "%%" alone: one file's text per part.
std::vector<std::string> SplitParts(const std::uint8_t* data, std::size_t size);

}  // namespace fuzzfiles
