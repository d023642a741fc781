#include "engine/version.h"

// Given by the build (CMakeLists.txt): the version and the month it was released.
#ifndef TKW_VERSION
#define TKW_VERSION "0.0.0"
#endif
#ifndef TKW_RELEASE_YEAR
#define TKW_RELEASE_YEAR 2026
#endif
#ifndef TKW_RELEASE_MONTH
#define TKW_RELEASE_MONTH 12
#endif

namespace tkw {

const ReleaseInfo& Release() {
    static const ReleaseInfo info{TKW_VERSION, TKW_RELEASE_YEAR, TKW_RELEASE_MONTH};
    return info;
}

}  // namespace tkw
