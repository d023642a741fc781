#include "logs/offsets_file.h"

#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "logs/log_writer.h"

namespace tkw {

std::string OffsetsFileName(const SystemTime& date) {
    std::string name = LogFileName(date, 0);  // the logs' six digits of the date
    return name.replace(6, std::string::npos, "O.csv");
}

std::string FormatFixed(double value, int decimals) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    std::string text(buf, r.ec == std::errc() ? r.ptr : buf);
    if (!text.empty() && text[0] == '-' && text.find_first_not_of("-0.") == std::string::npos) text.erase(0, 1);
    return text;
}

std::string FormatOffsetRow(const OffsetRow& row) {
    char when[20];
    FormatDateTime(row.minute, when);
    std::string line(when, 16);  // "yyyy-mm-dd hh:nn"
    line += ',' + std::to_string(row.frames);
    for (const double v : {row.meanMs, row.minMs, row.maxMs, row.sdMs}) {
        line += ',';
        if (row.frames > 0) line += FormatFixed(v, 3);
    }
    line += ',';
    if (row.stepMs) line += FormatFixed(*row.stepMs, 3);
    line += ',';
    if (row.driftPpm) line += FormatFixed(*row.driftPpm, 2);
    return line + "\r\n";
}

bool OffsetsWriter::Write(const OffsetRow& row) {
    const std::string path = JoinPath(dir_, OffsetsFileName(row.minute));
    OpenResult opened = fs_.Open(path, OpenMode::Append);
    Status st = opened.status;
    if (opened.file) {
        // One write for the row (and the header of a new file); when it or
        // the sync fails the file is cut back to where the row began.
        uint64_t before = 0;
        st = opened.file->Size(before);
        if (st) {
            std::string text = before == 0 ? std::string(kOffsetsHeader) + "\r\n" : std::string();
            text += FormatOffsetRow(row);
            st = opened.file->Write(text);
            if (st) st = opened.file->Sync();
            if (!st) opened.file->Truncate(before);
        }
        const Status closed = opened.file->Close();
        if (st) st = closed;
    }
    if (!st) {
        if (!failing_ && OnFailure) OnFailure(path, FailureReason(st));
        failing_ = true;
        return false;
    }
    if (failing_) {
        failing_ = false;
        if (OnRecovered) OnRecovered(path);
    }
    return true;
}

namespace {

bool ParseDouble(std::string_view s, double& out) {
    const auto r = std::from_chars(s.data(), s.data() + s.size(), out);
    return !s.empty() && r.ec == std::errc() && r.ptr == s.data() + s.size() && std::isfinite(out);
}

bool ParseOptional(std::string_view s, std::optional<double>& out) {
    double v = 0;
    if (s.empty()) return true;
    if (!ParseDouble(s, v)) return false;
    out = v;
    return true;
}

// "yyyy-mm-dd hh:nn"
bool ParseMinute(std::string_view s, SystemTime& out) {
    return s.size() == 16 && s[10] == ' ' && ParseWithMs(std::string(s) + ":00", out);
}

bool ParseRow(std::string_view line, OffsetRow& row) {
    std::string_view f[8];
    size_t n = 0;
    for (size_t start = 0;;) {
        const size_t comma = line.find(',', start);
        if (n == 8) return false;
        f[n++] = line.substr(start, comma - start);
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    if (n != 8 || !ParseMinute(f[0], row.minute)) return false;
    const auto r = std::from_chars(f[1].data(), f[1].data() + f[1].size(), row.frames);
    if (f[1].empty() || r.ec != std::errc() || r.ptr != f[1].data() + f[1].size() || row.frames < 0) return false;
    if (row.frames > 0 && !(ParseDouble(f[2], row.meanMs) && ParseDouble(f[3], row.minMs) &&
                            ParseDouble(f[4], row.maxMs) && ParseDouble(f[5], row.sdMs)))
        return false;
    return ParseOptional(f[6], row.stepMs) && ParseOptional(f[7], row.driftPpm);
}

}  // namespace

OffsetsDay ParseOffsets(std::string_view text) {
    OffsetsDay day;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);  // a spreadsheet's byte order mark
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (end == std::string_view::npos) {  // no line end: cut short
            ++day.badLines;
            break;
        }
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line == kOffsetsHeader) continue;
        OffsetRow row;
        if (ParseRow(line, row)) {
            day.rows.push_back(row);
        } else {
            ++day.badLines;
        }
    }
    return day;
}

Status ReadOffsetsFile(const std::string& path, OffsetsDay& day) {
    // Read-only, not through the FileSystem seam, whose files are opened for
    // writing: a user reads the service's files without the right to write them.
    const std::filesystem::path p(std::u8string(path.begin(), path.end()));
    std::ifstream in(p, std::ios::binary);
    if (!in) {
        std::error_code ec;
        return Status::Fail(std::filesystem::exists(p, ec) ? "cannot be read" : "no such file");
    }
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) return Status::Fail("cannot be read");
    day = ParseOffsets(text);
    return Status::Ok();
}

}  // namespace tkw
