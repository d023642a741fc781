#include "ui/save_dialog.h"

namespace tkw {

std::string WithDefaultExtension(const std::string& path, const std::string& ext) {
    const size_t slash = path.find_last_of("/\\");
    const size_t name = slash == std::string::npos ? 0 : slash + 1;
    if (path.find('.', name) != std::string::npos || name >= path.size()) return path;
    return path + "." + ext;
}

}  // namespace tkw
