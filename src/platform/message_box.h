// Message boxes, as a seam: the desktop program shows real modal boxes,
// the console programs print them, tests record them.
#pragma once

#include <string>

namespace tkw {

enum class BoxKind {
    Plain,    // no icon, OK
    Warning,  // warning icon, OK
    Error,    // stop icon, OK (serial configuration errors, caption "错误")
    Stop,     // stop icon, OK (other input/output errors, caption "TKW")
};

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // Modal: returns once the user has closed the box.
    virtual void Show(BoxKind kind, const std::string& caption, const std::string& text) = 0;
};

inline constexpr const char* kAppTitle = "TKW";
inline constexpr const char* kFileAccessError = "File access error";
inline constexpr const char* kWarningCaption = "Warning";

}  // namespace tkw
