// "ParamTrackerZBCCE.cfg": the pose tracker's settings.
#include <cstdint>
#include <sstream>
#include <string>

#include "FuzzFiles.h"
#include "common/ConfigReader.h"
#include "tracking/TrackerParameters.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    CConfigReader::SetOrigin(in, fuzzfiles::Folder() + "ParamTrackerZBCCE.cfg");
    CTrackerParameters parameters(in);
    return 0;
}
