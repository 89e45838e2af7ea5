#include "common/ConfigReader.h"

#include <limits>

bool CConfigReader::NextToken(std::string& token) {
    if (!in_ || failed_) return false;
    while (*in_ >> token) {
        if (token[0] != '#') return true;
        in_->ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    }
    failed_ = true;
    return false;
}
