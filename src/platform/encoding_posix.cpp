#include "platform/encoding.h"

namespace tkw {

std::string ToFileEncoding(std::string_view utf8) {
    return std::string(utf8);
}

}  // namespace tkw
