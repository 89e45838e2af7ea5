// The live camera's parameter file.
#include <cstdint>
#include <string>

#include "FuzzFiles.h"
#include "platform/svs/svs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzzfiles::Write("camera.ini", data, size);
    svsParameterBlock block = svsDefaultParameters();
    svsReadParamFile(path.c_str(), &block);
    return 0;
}
