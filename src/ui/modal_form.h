// A dialog as the program sees it: its look, its control models and the
// handlers its window calls. FormPlatform::ShowModal(form) shows it; the
// Windows host creates the window and its real controls from these once,
// and calls FormActivate when the dialog becomes the program's active window
// (on opening, and again when a box of the program over it has closed),
// FormDeactivate when another window of the program becomes active, and
// FormClose when the user closes it.
#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "ui/control.h"

namespace tkw {

struct FormLook {
    enum class Frame {
        Dialog,    // thick dialog border, close box only
        Single,    // thin border, close box only
        Sizeable,  // resizable border, close box only
    };

    std::string Caption;
    Frame Border = Frame::Dialog;
    int Width = 0, Height = 0;
    // Width and Height are the client area's; otherwise the whole window's.
    bool ClientSize = true;
    // Centred on the screen each time it is shown; otherwise at Left, Top.
    bool Centred = false;
    int Left = 0, Top = 0;
    bool Topmost = false;
    // The dialog's font: a face and a height in pixels (empty: the system's).
    std::string FontName;
    int FontHeight = 0;
};

class ModalForm {
public:
    virtual ~ModalForm() = default;

    // Handlers the window calls.
    virtual void FormActivate() {}
    virtual void FormDeactivate() {}
    virtual void FormClose() {}

    // Asked before the dialog goes, whoever closes it: false keeps it open
    // (the form closes it itself later).
    virtual bool CloseQuery() { return true; }

    // For handlers: the dialog goes once the running handler has returned.
    void Close() {
        if (!CloseQuery()) return;
        Visible = false;
        if (OnVisibleChange) OnVisibleChange();
    }

    FormLook Look;
    // Every control, in the order the binding creates them (a panel before
    // what lies in it) and the Tab key visits them.
    std::vector<Control*> Controls;
    // Shown right now; the host sets it when it shows the dialog.
    bool Visible = false;
    std::function<void()> OnVisibleChange;
    // The host's: waits `ms` milliseconds while the window's messages go on
    // being served. False when the program is ending meanwhile.
    std::function<bool(int ms)> Pause;

protected:
    // For the forms' constructors: appends `cs` to Controls in this order,
    // each lying in `parent` when one is given.
    void Add(std::initializer_list<Control*> cs, Control* parent = nullptr) {
        for (Control* c : cs) {
            if (parent) c->Parent = parent;
            Controls.push_back(c);
        }
    }
};

}  // namespace tkw
