// The window of a modal form: made once from the form's look and controls,
// hidden (never destroyed) when closed, shown again as the same window. It
// runs the modal loop, in which everything the owner needs (its timer, the
// reader's hand-offs) keeps being dispatched, and calls the form's handlers.
// Windows builds only.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "ui/modal_form.h"
#include "ui/win32/control_binding.h"

namespace tkw {

// The program's icon (resource 1) at the system's large or small icon size.
// Each call loads a new one, which the caller owns (the window classes keep
// theirs for the program's life).
enum class IconSize { Large, Small };
HICON AppIcon(HINSTANCE inst, IconSize size);

class FormHost {
public:
    enum class ModalEnd {
        Closed,   // the dialog was closed
        Quit,     // WM_QUIT came meanwhile; it has been posted again
        Missing,  // the window could not be made
    };

    explicit FormHost(ModalForm& form) : form_(form) {}
    ~FormHost();
    FormHost(const FormHost&) = delete;
    FormHost& operator=(const FormHost&) = delete;

    // Makes the hidden window and its controls, owned by `owner`. False, with
    // GetLastError() kept in CreateError(), when Windows refuses.
    bool Create(HINSTANCE inst, HWND owner);
    HWND Handle() const { return wnd_; }
    ModalForm& Form() const { return form_; }
    unsigned long CreateError() const { return createError_; }

    // Shows the dialog with its owner disabled and returns once it is hidden.
    ModalEnd ShowModal();

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp);
    ControlBinding* BindingOf(HWND control) const;
    void Hide();
    void EndModal();
    void PlaceOnScreen();
    void RestoreOwner();
    void Activated();
    void Layout();
    bool PauseServing(int ms);
    void MouseDown(MouseButton button, WPARAM keys, LPARAM at);

    ModalForm& form_;
    HWND wnd_ = nullptr;
    HWND owner_ = nullptr;
    std::unique_ptr<FormFonts> fonts_;
    std::vector<std::unique_ptr<ControlBinding>> bindings_;
    unsigned long createError_ = 0;
    bool modal_ = false;
    bool ownerDisabled_ = false;  // by this host, so it must enable it again
    // The form hears of activation within the program only: coming back from
    // another program is not the dialog's activation.
    bool fromOtherProgram_ = false;
    bool activatePending_ = false;
    HWND focus_ = nullptr;  // the control that had the keyboard when the dialog lost it
};

}  // namespace tkw
