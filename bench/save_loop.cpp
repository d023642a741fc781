// tkw-save-loop: the settings file under SIGKILL, for bench/kill_during_save.sh.
//
//   tkw-save-loop save DIR    saves two different records into DIR/horalsys.conf
//                             by turns, for ever, through the program's own save;
//                             prints "saving" once the first save is done
//   tkw-save-loop check DIR   exit status 0 if DIR/horalsys.conf is whole: 224
//                             bytes that decode to one of the two records
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "config/settings.h"

using namespace tkw;

namespace {

Settings Record(int which) {
    Settings s;
    ApplyDefaults(s);
    if (which == 1) {
        s.PortNumber = 7;
        s.BaudCode = 12;
        s.CorrectionMode = kModeDailyPoints;
        s.FineAdjustMs = 500;
        s.DailyPointCount = 2;
        s.DailyPoints[0] = 0.25;
        s.DailyPoints[1] = 0.75;
        s.CodeFormat = 3;
    }
    return s;
}

int Save(const std::string& path) {
    for (unsigned long n = 0;; ++n) {
        const Status st = savecfg(RealFileSystem(), path, Record(static_cast<int>(n % 2)));
        if (!st) {
            std::fprintf(stderr, "tkw-save-loop: save failed: %s\n", st.error.c_str());
            return 1;
        }
        if (n == 0) {
            std::puts("saving");
            std::fflush(stdout);
        }
    }
}

int Check(const std::string& path) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) {
        std::printf("%s: %s\n", path.c_str(), ec.message().c_str());
        return 1;
    }
    Settings s;
    const LoadResult r = LoadSettings(RealFileSystem(), path, s);
    if (size != kConfigRecordSize || r.outcome != LoadOutcome::Loaded) {
        std::printf("%s: %ju bytes, not a whole record\n", path.c_str(), static_cast<uintmax_t>(size));
        return 1;
    }
    if (s != Record(0) && s != Record(1)) {
        std::printf("%s: 224 bytes, but neither record\n", path.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 || (std::strcmp(argv[1], "save") != 0 && std::strcmp(argv[1], "check") != 0)) {
        std::fputs("usage: tkw-save-loop save|check DIR\n", stderr);
        return 2;
    }
    const std::string path = JoinPath(argv[2], kConfigFileName);
    return std::strcmp(argv[1], "save") == 0 ? Save(path) : Check(path);
}
