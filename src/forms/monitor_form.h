// The communication monitor "通讯观测": the monitor text (every frame and
// answer line the time-code handling makes), shown while it grows; save it to
// a file, clear it, stop and continue watching. Watching (MonitorOn) follows
// the window: set while it is the program's active window, cleared when
// another of the program's windows (a box) takes over or it is closed.
#pragma once

#include "logs/monitor_log.h"
#include "platform/files.h"
#include "platform/message_box.h"
#include "timecode/runtime_state.h"
#include "ui/controls.h"
#include "ui/memo.h"
#include "ui/modal_form.h"
#include "ui/save_dialog.h"

namespace tkw {

inline constexpr const char* kSaveDone = "保存成功~！";
inline constexpr const char* kSaveFailed = "保存失败~！";

// The tool strip's pictures, in the program's resources: a normal and a
// greyed icon each.
enum MonitorGlyph : int {
    kGlyphSave = 10, kGlyphSaveGrey, kGlyphClear, kGlyphClearGrey,
    kGlyphStop, kGlyphStopGrey, kGlyphGo, kGlyphGoGrey,
};

class TForm3 final : public ModalForm {
public:
    TForm3(MonitorLog& log, RuntimeState& state, FileSystem& files, SaveDialog& saveDialog, MessageBoxes& boxes);

    void FormActivate() override { state_.MonitorOn = true; }
    void FormDeactivate() override { state_.MonitorOn = false; }
    void FormClose() override { state_.MonitorOn = false; }
    void SpeedButton1Click();  // 输出到文件
    void SpeedButton2Click();  // 停止观测
    void SpeedButton3Click();  // 清空
    void SpeedButton4Click();  // 继续观测

    Panel ControlBar1{"ControlBar1", {0, 0, 683, 33}};
    SpeedButton SpeedButton1{"SpeedButton1", {12, 2, 23, 22}, kGlyphSave, kGlyphSaveGrey, "输出到文件"};
    SpeedButton SpeedButton3{"SpeedButton3", {48, 2, 23, 22}, kGlyphClear, kGlyphClearGrey, "清空"};
    SpeedButton SpeedButton2{"SpeedButton2", {84, 2, 23, 22}, kGlyphStop, kGlyphStopGrey, "停止观测"};
    SpeedButton SpeedButton4{"SpeedButton4", {120, 2, 23, 22}, kGlyphGo, kGlyphGoGrey, "继续观测"};
    Memo Memo1{"Memo1", {0, 33, 683, 402}};

private:
    MonitorLog& log_;
    RuntimeState& state_;
    FileSystem& files_;
    SaveDialog& saveDialog_;
    MessageBoxes& boxes_;
};

}  // namespace tkw
