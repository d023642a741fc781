// What the main window needs of the window system, beyond the engine's seams:
// its own placement and visibility, the tray icon, the popup menu, help,
// the modal dialogs and the mouse. The Windows binding implements it over the
// real strip window; tests record the calls.
#pragma once

#include <string>

#include "ui/modal_form.h"

namespace tkw {

struct Form1Menu;

class FormPlatform {
public:
    virtual ~FormPlatform() = default;

    // Takes the program off the taskbar and out of the task switcher (the
    // strip is its only face). Best effort.
    virtual void SetToolWindow() = 0;
    virtual int ScreenWidth() = 0;
    // Moves the strip window, in screen pixels.
    virtual void MoveWindow(int left, int top) = 0;
    virtual void SetWindowVisible(bool visible) = 0;

    // The tray icon: id 100, callback message 0x401, tip "串口校时". Results
    // are not looked at: a strip hidden without an icon can still be reached
    // once the icon is added again (see TForm1::TaskbarCreated).
    virtual void TrayAdd() = 0;
    virtual void TrayDelete() = 0;

    // Opens the menu built from `menu` at the mouse cursor, with the strip
    // brought to the front first so that a click elsewhere closes the menu.
    // A chosen item's click runs before this returns or later; either way
    // through MenuItem::Click.
    virtual void PopupAtCursor(Form1Menu& menu) = 0;

    // Asks the help viewer to open `file` with the JumpID("","") command.
    // False when there is no viewer or it could not open the file.
    virtual bool OpenHelp(const std::string& file) = 0;

    // Shows `form` modally over the strip and returns when it has closed. The
    // timer and the reader's hand-offs go on being served meanwhile.
    virtual void ShowModal(ModalForm& form) = 0;

    // Opens a web address with the shell's default action.
    virtual void OpenUrl(const std::string& url) = 0;

    // Closes the strip; the binding then runs TForm1::FormClose and ends the
    // message loop.
    virtual void CloseMainWindow() = 0;

    // Whether the left mouse button is down right now.
    virtual bool LeftButtonHeld() = 0;
};

}  // namespace tkw
