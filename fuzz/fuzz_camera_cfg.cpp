// The recorded camera's configuration file, then a few grabs: the index walk, the padded frame
// names and the refusal of frames that are not there.
#include <cstdint>
#include <string>

#include "FuzzFiles.h"
#include "acquisition/StereoCameraFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzzfiles::Write("camera.cfg", data, size);
    CStereoCameraFiles camera(path.c_str());
    for (int grab = 0; grab < 4; ++grab) camera.GrabFrame();
    return 0;
}
