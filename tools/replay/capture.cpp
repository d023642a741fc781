#include "replay/capture.h"

namespace tkw::replay {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

bool CaptureReader::Fail(const std::string& reason) {
    error_ = name_ + ":" + std::to_string(lineNo_) + ": " + reason;
    return false;
}

bool CaptureReader::Next(CaptureLine& line) {
    if (!error_.empty()) return false;
    while (std::getline(in_, text_)) {
        ++lineNo_;
        if (!text_.empty() && text_.back() == '\r') text_.pop_back();
        const std::string& text = text_;
        size_t pos = 0;
        while (pos < text.size() && IsBlank(text[pos])) ++pos;
        if (pos == text.size() || text[pos] == '#') continue;

        line.elapsedMs = 0;
        line.bytes.clear();
        const size_t timeStart = pos;
        while (pos < text.size() && !IsBlank(text[pos])) ++pos;
        const std::string timeText = text.substr(timeStart, pos - timeStart);
        for (const char c : timeText) {
            if (c < '0' || c > '9')
                return Fail("elapsed time '" + timeText + "' is not a decimal number of milliseconds");
            line.elapsedMs = line.elapsedMs * 10 + (c - '0');
            if (line.elapsedMs > kMaxElapsedMs) return Fail("elapsed time '" + timeText + "' is too large");
        }
        if (line.elapsedMs < lastMs_) {
            const std::string now = std::to_string(line.elapsedMs), before = std::to_string(lastMs_);
            return Fail("elapsed time " + now + " is before the previous line's " + before);
        }
        lastMs_ = line.elapsedMs;

        while (true) {
            while (pos < text.size() && IsBlank(text[pos])) ++pos;
            if (pos == text.size()) break;
            const size_t start = pos;
            while (pos < text.size() && !IsBlank(text[pos])) ++pos;
            if (pos - start != 2 || HexValue(text[start]) < 0 || HexValue(text[start + 1]) < 0) {
                const std::string token(text, start, pos - start);
                return Fail("'" + token + "' is not a byte of two hex digits");
            }
            if (line.bytes.size() == 255) return Fail("more than 255 bytes on one line");
            line.bytes.push_back(static_cast<uint8_t>(HexValue(text[start]) * 16 + HexValue(text[start + 1])));
        }
        return true;
    }
    return false;
}

}  // namespace tkw::replay
