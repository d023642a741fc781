#include "engine/port_recovery.h"

#include "serial/com_map.h"

namespace tkw {

namespace {

std::string Seconds(std::chrono::milliseconds d) {
    return std::to_string((d.count() + 500) / 1000) + " s";
}

}  // namespace

void PortRecovery::Started(bool open, Ms now) {
    started_ = true;
    if (!open) GoDown(" cannot be opened", now);
}

void PortRecovery::Say(const std::string& what) {
    const std::string reason = port_.Reason();
    say_(port_.Name() + what + (reason.empty() ? "" : ": " + reason) + "; trying again every " + Seconds(retry_));
}

void PortRecovery::GoDown(const std::string& what, Ms now) {
    Say(what);
    // Nothing reads a dead handle meanwhile. Reads that found it gone
    // before the hold are of no more news.
    reader_.Pause();
    gone_.store(false);
    port_.Close();
    down_ = true;
    nextTry_ = now + retry_;
}

PortRecovery::Ms PortRecovery::Service(Ms now) {
    if (!started_ || changing_) return Ms(-1);
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

PortRecovery::Ms PortRecovery::TryNow(bool forceReopen, Ms now) {
    if (!started_ || changing_) return Ms(-1);
    if (forceReopen && !down_) {
        reader_.Pause();
        gone_.store(false);
        port_.Close();
        if (port_.Reopen()) {
            reader_.Resume();
            return Ms(-1);
        }
        Say(" cannot be opened again");
        down_ = true;
        nextTry_ = now + retry_;
        return retry_;
    }
    if (down_) nextTry_ = now;
    return Service(now);
}

void PortRecovery::ChangeEnded(bool inUse, Ms now) {
    changing_ = false;
    if (!started_) return;
    if (inUse) {
        // The change opened a port afresh: what was seen of the old one is
        // of no more news.
        gone_.store(false);
        if (down_) {
            say_(port_.Name() + " is in use");
            down_ = false;
            reader_.Resume();
        }
        return;
    }
    if (down_)
        nextTry_ = now + retry_;
    else
        GoDown(" cannot be opened", now);
}

bool ConfiguredPort::Reopen() {
    if (serial_.sio_open(settings_.PortNumber) != 0) return false;
    if (setup_.PortSet()) return true;
    serial_.sio_close(settings_.PortNumber);
    return false;
}

std::string ConfiguredPort::Name() {
    const std::string com = "COM" + std::to_string(settings_.PortNumber);
    const std::string path = ComPortPath(settings_.PortNumber);
    // Windows names the device by its COM number already.
    if (path == "\\\\.\\" + com) return com;
    return com + " (" + (path.empty() ? "no device" : path) + ")";
}

}  // namespace tkw
