// The system's save-file dialog. Windows builds only.
#pragma once

#include "ui/save_dialog.h"

namespace tkw {

class Win32SaveDialog final : public SaveDialog {
public:
    std::optional<std::string> AskSavePath(const std::string& filterLabel, const std::string& pattern,
                                           const std::string& defaultExt) override;
};

}  // namespace tkw
