#include "config/settings.h"

#include <cstring>

namespace tkw {
namespace {

void Put16(ConfigRecord& r, size_t at, uint16_t v) {
    r[at] = static_cast<uint8_t>(v & 0xFF);
    r[at + 1] = static_cast<uint8_t>(v >> 8);
}

uint16_t Get16(const ConfigRecord& r, size_t at) {
    return static_cast<uint16_t>(r[at] | (r[at + 1] << 8));
}

void PutDouble(ConfigRecord& r, size_t at, double d) {
    uint64_t bits = 0;
    std::memcpy(&bits, &d, sizeof bits);
    for (int i = 0; i < 8; ++i) r[at + i] = static_cast<uint8_t>(bits >> (8 * i));
}

double GetDouble(const ConfigRecord& r, size_t at) {
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits |= static_cast<uint64_t>(r[at + i]) << (8 * i);
    double d = 0;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

constexpr size_t kDailyPointsAt = 16;

}  // namespace

void ApplyDefaults(Settings& s) {
    s.PortNumber = 1;
    s.BaudCode = 10;
    s.CorrectionMode = 1;
    s.CorrectionSecond = 31;
    s.CorrectionMinute = 0;
    s.FineAdjustMs = 135;
    s.JumpThreshold = 3;
    s.NoCorrectOnJump = true;
    s.CodeFormat = 1;
}

ConfigRecord EncodeConfig(const Settings& s) {
    ConfigRecord r{};
    r[0] = static_cast<uint8_t>(s.PortNumber & 0xFF);
    r[1] = static_cast<uint8_t>(s.BaudCode & 0xFF);
    r[2] = s.CorrectionMode;
    r[3] = s.JumpThreshold;
    Put16(r, 4, s.CorrectionSecond);
    Put16(r, 6, s.CorrectionMinute);
    Put16(r, 8, s.DailyPointCount);
    Put16(r, 10, s.FineAdjustMs);
    for (int i = 0; i < kDailyPointSlots; ++i) PutDouble(r, kDailyPointsAt + 8 * i, s.DailyPoints[i]);
    r[216] = s.NoCorrectOnJump ? 1 : 0;
    r[217] = s.CodeFormat;
    return r;
}

void DecodeConfig(const ConfigRecord& r, Settings& s) {
    s.PortNumber = r[0];
    s.BaudCode = r[1];
    s.CorrectionMode = r[2];
    s.JumpThreshold = r[3];
    // The 16-bit fields hold 8-bit settings: only their low byte counts.
    s.CorrectionSecond = r[4];
    s.CorrectionMinute = r[6];
    s.DailyPointCount = r[8];
    s.FineAdjustMs = Get16(r, 10);
    for (int i = 0; i < kDailyPointSlots; ++i) s.DailyPoints[i] = GetDouble(r, kDailyPointsAt + 8 * i);
    // A stored byte other than 0 or 1 is still "true"; normalising it here
    // keeps a bool from ever holding a value the language does not allow.
    s.NoCorrectOnJump = r[216] != 0;
    s.CodeFormat = r[217];
}

LoadResult LoadSettings(FileSystem& fs, const std::string& path, Settings& s) {
    if (!fs.Exists(path)) {
        ApplyDefaults(s);
        return {LoadOutcome::NoFile, {}};
    }
    OpenResult opened = fs.Open(path, OpenMode::ReadWriteExisting);
    if (!opened.file) return {LoadOutcome::AccessError, opened.status.error};

    ConfigRecord rec{};
    size_t got = 0;
    Status st = opened.file->Read(rec.data(), rec.size(), got);
    if (!st) return {LoadOutcome::IoError, st.error};
    st = opened.file->Close();
    if (!st) return {LoadOutcome::IoError, st.error};
    if (got < rec.size()) return {LoadOutcome::ShortFile, {}, got};
    DecodeConfig(rec, s);
    return {LoadOutcome::Loaded, {}};
}

Status savecfg(FileSystem& fs, const std::string& path, const Settings& s) {
    const ConfigRecord rec = EncodeConfig(s);
    // When only the directory's sync fails the save is reported as failed,
    // though the new record is in place and in use: the user is told that it
    // may not last, and can save again.
    return ReplaceWholeFile(fs, path, [&rec](File& file) {
        return file.Write(std::string_view(reinterpret_cast<const char*>(rec.data()), rec.size()));
    });
}

}  // namespace tkw
