#include "headless/sinks.h"

namespace tkw {

void ConsoleBoxes::Show(BoxKind, const std::string& caption, const std::string& text) {
    console_.Err(caption + ": " + text);
    if (Detail)
        if (const std::string d = Detail(caption); !d.empty()) console_.Err("  " + d);
}

}  // namespace tkw
