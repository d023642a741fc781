#include "ui/memo.h"

namespace tkw {

std::string TailWindow::HiddenText(size_t hidden) {
    return "（之前还有 " + std::to_string(hidden) + " 行未显示，保存到文件时全部写出）";
}

}  // namespace tkw
