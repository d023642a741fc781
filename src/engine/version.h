// The program's version, from the build (CMake's project() version and the
// release month beside it): the About box and --version show the same.
#pragma once

namespace tkw {

struct ReleaseInfo {
    const char* version;  // "0.2.0"
    int year;
    int month;
};

const ReleaseInfo& Release();

}  // namespace tkw
