// The platform's save-file dialog, as a seam.
#pragma once

#include <optional>
#include <string>

namespace tkw {

class SaveDialog {
public:
    virtual ~SaveDialog() = default;
    // Asks for a file to write, offering one filter ("文本文件", "*.txt");
    // `defaultExt` goes on a name typed without one. Nothing when the user
    // cancelled. The process's working directory stays where it was: the
    // settings and the logs are named relative to it.
    virtual std::optional<std::string> AskSavePath(const std::string& filterLabel, const std::string& pattern,
                                                   const std::string& defaultExt) = 0;
};

// `path` with ".ext" added when its file name has no extension.
std::string WithDefaultExtension(const std::string& path, const std::string& ext);

}  // namespace tkw
