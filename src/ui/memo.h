// A multi-line text box: either its own text (the About box's release notes,
// which the user may edit) or a view of the monitor's growing line store.
// A view shows the newest lines only, so that appending costs the same at
// line 10 and at line 600 000; a first line says how many earlier ones are
// kept (and saved) but not shown.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "logs/monitor_log.h"
#include "ui/control.h"

namespace tkw {

class Memo final : public Control {
public:
    Memo(std::string name, Bounds place) : Control(Kind::Memo, std::move(name), place) {}

    enum class Bars { Vertical, Both };
    bool ReadOnly = false;
    Bars ScrollBars = Bars::Vertical;
    // Lines wrap at the control's width.
    bool WordWrap = true;
    // Its own text, or (when Source is set) the store it shows.
    std::vector<std::string> Lines;
    MonitorLog* Source = nullptr;
};

// Which of a store's lines a view shows: at most `limit`; when more than
// `limit + batch` have come, the oldest are dropped down to `limit` in one go
// (a rare cut at the top instead of one per line).
class TailWindow {
public:
    explicit TailWindow(size_t limit = 20000, size_t batch = 2000) : limit_(limit), batch_(batch) {}

    // The view is made afresh from a store of `total` lines: the first shown.
    size_t Reset(size_t total) {
        first_ = total > limit_ ? total - limit_ : 0;
        return first_;
    }
    // The store has grown to `total` (and the view with it): how many of the
    // oldest shown lines to drop now, mostly none.
    size_t Appended(size_t total) {
        if (total < first_ || total - first_ <= limit_ + batch_) return 0;
        const size_t before = first_;
        Reset(total);
        return first_ - before;
    }
    size_t First() const { return first_; }

    // The first line of a view that hides `hidden` older lines.
    static std::string HiddenText(size_t hidden);

private:
    size_t limit_, batch_;
    size_t first_ = 0;
};

}  // namespace tkw
