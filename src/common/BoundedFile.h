// Whole text files read with a ceiling: the configuration files, the recorded camera's file, the
// live camera's parameter file, the classifier and its stage files.
//
// A file is read only when it is a regular file of at most maxBytes bytes: a device, a pipe or a
// folder named where a file belongs is refused without reading from it (so an endless or blocking
// source cannot hold up the library), and a larger file is refused without being read to its end.
#pragma once

#include <cstddef>
#include <string>

// Ceiling of every configuration file (Param.cfg, ParamInit.cfg, ParamTrackerZBCCE.cfg, the
// recorded camera's file and the live camera's parameter file).
constexpr std::size_t kMaxConfigFileBytes = std::size_t{1} << 20;

enum class BoundedRead { Ok, CannotOpen, NotRegular, TooLarge };

// The file's whole content into text, less a UTF-8 byte-order mark at its start. On failure text
// is left empty and why says what is wrong ("does not open: No such file or directory", "not a
// regular file", "larger than 1048576 bytes").
BoundedRead ReadBoundedFile(const std::string& path, std::size_t maxBytes, std::string& text, std::string& why);
