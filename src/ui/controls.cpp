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
    bool changed = checked != Checked;
    if (checked && Group)
        for (RadioButton* other : Group->Members())
            if (other != this && other->Checked) {
                other->Checked = false;
                changed = true;
            }
    Checked = checked;
    if (!changed) return;
    if (!Group) {
        Notify();
        return;
    }
    // Every member, once all marks are final: besides its own mark, which
    // member takes the keyboard may have moved (a member that stays
    // unchecked may gain or lose it).
    for (RadioButton* m : Group->Members()) m->Notify();
}

}  // namespace tkw
