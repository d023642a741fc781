#include "app/port_recovery.h"

namespace tkw {

namespace {

std::string Seconds(std::chrono::milliseconds d) {
    return std::to_string((d.count() + 500) / 1000) + " s";
}

}  // namespace

void PortRecovery::Started(bool open, Ms now) {
    if (!open) GoDown(" cannot be opened", now);
}

void PortRecovery::GoDown(const std::string& what, Ms now) {
    std::string reason = port_.Reason();
    say_(port_.Name() + what + (reason.empty() ? "" : ": " + reason) + "; trying again every " + Seconds(retry_));
    // Nothing reads a dead descriptor meanwhile. Reads that found it gone
    // before the hold are of no more news.
    reader_.Pause();
    gone_.store(false);
    port_.Close();
    down_ = true;
    nextTry_ = now + retry_;
}

PortRecovery::Ms PortRecovery::Service(Ms now) {
    if (gone_.exchange(false) && !down_) GoDown(" is gone", now);
    if (!down_) return Ms(-1);
    if (now < nextTry_) return nextTry_ - now;
    if (port_.Reopen()) {
        say_(port_.Name() + " is back");
        down_ = false;
        reader_.Resume();
        return Ms(-1);
    }
    nextTry_ = now + retry_;
    return retry_;
}

}  // namespace tkw
