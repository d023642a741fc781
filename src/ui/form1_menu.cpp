#include "ui/form1_menu.h"

#include <iterator>
#include <tuple>

namespace tkw {

Form1Menu::Form1Menu()
    : Items{&N31, &N11, &N10, &N9, &com11, &com21, &com31, &com41, &N21, &N1, &N48001, &N96001, &N2, &N6,
            &N17, &N16, &N3, &N14, &N4, &N12, &N18, &N13, &N15, &About1, &N7, &N20, &N19, &N8} {
    // The group of each item, top to bottom. There is no group 4.
    constexpr int kGroups[] = {1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 3, 3, 5, 5, 5, 5, 5, 5, 6, 6, 6, 6, 6, 7, 7, 7, 7, 8};
    static_assert(std::size(kGroups) == std::tuple_size_v<decltype(Items)>);
    for (size_t i = 0; i < Items.size(); ++i) Items[i]->GroupIndex = kGroups[i];
    for (MenuItem* f : {&N31, &N11, &N10}) f->RadioItem = true;
    N4.Checked = true;
    N12.Checked = true;
    N20.Visible = false;
}

MenuItem* Form1Menu::Find(std::string_view caption) const {
    for (MenuItem* item : Items)
        if (item->Caption == caption) return item;
    return nullptr;
}

}  // namespace tkw
