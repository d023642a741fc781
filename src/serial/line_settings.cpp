#include "serial/line_settings.h"

namespace tkw {

int32_t WriteTimeoutMs(int32_t bitRate) {
    // A rate of 0 or less means the port could not tell; never divide by it.
    const int32_t q = bitRate > 0 ? 1000 / bitRate : 0;
    return 10 * (q < 1 ? 1 : q);
}

}  // namespace tkw
