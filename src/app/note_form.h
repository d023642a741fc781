// A dialog that only says it is not there yet: its window as the real one
// will have it, a note and a button that closes it.
#pragma once

#include "ui/controls.h"
#include "ui/modal_form.h"

namespace tkw {

class NoteForm final : public ModalForm {
public:
    explicit NoteForm(FormLook look) {
        Look = std::move(look);
        const int w = Look.Width > 0 ? Look.Width : 300, h = Look.Height > 0 ? Look.Height : 150;
        Note.Place = {12, 12, w - 24, h - 59};
        Note.Centred = true;
        Button1.Place = {(w - 75) / 2, h - 35, 75, 23};
        Button1.OnClick = [this] { Close(); };
        Controls = {&Note, &Button1};
    }

    Label Note{"Note", "此对话框将在以后的版本中提供。", {}};
    Button Button1{"Button1", "关闭", {}};
};

}  // namespace tkw
