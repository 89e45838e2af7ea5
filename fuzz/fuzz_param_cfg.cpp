// "Param.cfg": the stereo source's settings.
#include <cstdint>
#include <sstream>
#include <string>

#include "FuzzFiles.h"
#include "acquisition/StereoSourceParameters.h"
#include "common/ConfigReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    CConfigReader::SetOrigin(in, fuzzfiles::Folder() + "Param.cfg");
    CStereoSourceParameters parameters;
    parameters.Read(&in);
    return 0;
}
