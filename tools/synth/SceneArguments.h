// Command-line options of the synthetic scene that render_sequence and evaluate_tracking share:
// the head's shape, the lamp, stereo-like depth errors and how the right camera differs from the left.
#pragma once

#include <string>
#include <vector>

#include "synth/HeadScene.h"

// Usage lines of the options below, two spaces in, each ending with a newline.
extern const char* const kSceneUsage;

enum class SceneOption { kUnknown, kParsed, kBadValue };

// Sets the scene option `option` from `value`; kUnknown leaves the scene untouched.
SceneOption ParseSceneOption(const std::string& option, const std::string& value, SceneOptions& scene);

// count comma-separated finite numbers; false for anything else.
bool ParseNumbers(const std::string& text, std::vector<double>& values, std::size_t count);
