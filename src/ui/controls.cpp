#include "ui/controls.h"

namespace tkw {

RadioGroup::RadioGroup(std::initializer_list<RadioButton*> members) : members_(members) {
    for (RadioButton* b : members_) b->Group = this;
}

RadioButton* RadioGroup::TabStop() const {
    for (RadioButton* b : members_)
        if (b->Checked) return b;
    return members_.empty() ? nullptr : members_.front();
}

void RadioButton::SetChecked(bool checked) {
    if (checked && Group)
        for (RadioButton* other : Group->Members())
            if (other != this && other->Checked) {
                other->Checked = false;
                other->Notify();
            }
    if (checked == Checked) return;
    Checked = checked;
    Notify();
}

}  // namespace tkw
