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

bool ParseCapture(std::istream& in, const std::string& name, std::vector<CaptureLine>& lines, std::string& error) {
    std::string text;
    int64_t lastMs = 0;
    for (long lineNo = 1; std::getline(in, text); ++lineNo) {
        auto fail = [&](const std::string& reason) {
            error = name + ":" + std::to_string(lineNo) + ": " + reason;
            return false;
        };
        if (!text.empty() && text.back() == '\r') text.pop_back();
        size_t pos = 0;
        while (pos < text.size() && IsBlank(text[pos])) ++pos;
        if (pos == text.size() || text[pos] == '#') continue;

        CaptureLine line;
        const size_t timeStart = pos;
        while (pos < text.size() && !IsBlank(text[pos])) ++pos;
        const std::string timeText = text.substr(timeStart, pos - timeStart);
        for (const char c : timeText) {
            if (c < '0' || c > '9')
                return fail("elapsed time '" + timeText + "' is not a decimal number of milliseconds");
            line.elapsedMs = line.elapsedMs * 10 + (c - '0');
            if (line.elapsedMs > kMaxElapsedMs) return fail("elapsed time '" + timeText + "' is too large");
        }
        if (line.elapsedMs < lastMs)
            return fail("elapsed time " + std::to_string(line.elapsedMs) + " is before the previous line's " +
                        std::to_string(lastMs));
        lastMs = line.elapsedMs;

        while (true) {
            while (pos < text.size() && IsBlank(text[pos])) ++pos;
            if (pos == text.size()) break;
            const size_t start = pos;
            while (pos < text.size() && !IsBlank(text[pos])) ++pos;
            const std::string token = text.substr(start, pos - start);
            if (token.size() != 2 || HexValue(token[0]) < 0 || HexValue(token[1]) < 0)
                return fail("'" + token + "' is not a byte of two hex digits");
            if (line.bytes.size() == 255) return fail("more than 255 bytes on one line");
            line.bytes.push_back(static_cast<uint8_t>(HexValue(token[0]) * 16 + HexValue(token[1])));
        }
        lines.push_back(std::move(line));
    }
    return true;
}

}  // namespace tkw::replay
