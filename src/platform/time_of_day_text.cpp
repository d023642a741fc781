#include "platform/time_of_day_text.h"

#include <cstddef>

namespace tkw {

namespace {

// One element of a picture: a field letter repeated `count` times, or text.
struct Token {
    char field;  // 'h', 'H', 'm', 's', 't', or 0 for literal text
    int count;
    std::string text;
};

template <typename Fn>
void ForEachToken(const std::string& p, Fn fn) {
    size_t i = 0;
    while (i < p.size()) {
        const char c = p[i];
        if (c == 'h' || c == 'H' || c == 'm' || c == 's' || c == 't') {
            size_t j = i;
            while (j < p.size() && p[j] == c) ++j;
            fn(Token{c, static_cast<int>(j - i), {}});
            i = j;
        } else if (c == '\'') {
            // Quoted text; two quotes in a row stand for one.
            std::string text;
            size_t j = i + 1;
            while (j < p.size()) {
                if (p[j] == '\'') {
                    if (j + 1 < p.size() && p[j + 1] == '\'') {
                        text += '\'';
                        j += 2;
                        continue;
                    }
                    ++j;
                    break;
                }
                text += p[j++];
            }
            fn(Token{0, 0, text});
            i = j;
        } else {
            fn(Token{0, 0, std::string(1, c)});
            ++i;
        }
    }
}

std::string Number(int v, int width) {
    const std::string s = std::to_string(v);
    const size_t want = static_cast<size_t>(width);
    return s.size() < want ? std::string(want - s.size(), '0') + s : s;
}

// The first UTF-8 character of `s` (t takes the designator's first letter).
std::string FirstChar(const std::string& s) {
    if (s.empty()) return s;
    size_t n = 1;
    const unsigned char c = static_cast<unsigned char>(s[0]);
    if (c >= 0xF0) n = 4;
    else if (c >= 0xE0) n = 3;
    else if (c >= 0xC0) n = 2;
    return s.substr(0, n);
}

bool StartsWithNoCase(const std::string& text, size_t at, const std::string& word) {
    if (word.empty() || text.size() - at < word.size()) return false;
    for (size_t k = 0; k < word.size(); ++k) {
        char a = text[at + k], b = word[k];
        if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 32);
        if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 32);
        if (a != b) return false;
    }
    return true;
}

}  // namespace

std::string PatternTimeText::Format(int hour, int minute, int second) {
    std::string out;
    ForEachToken(pattern_, [&](const Token& t) {
        const int width = t.count >= 2 ? 2 : 1;
        switch (t.field) {
            case 'h': out += Number(hour % 12 == 0 ? 12 : hour % 12, width); break;
            case 'H': out += Number(hour, width); break;
            case 'm': out += Number(minute, width); break;
            case 's': out += Number(second, width); break;
            case 't': out += t.count >= 2 ? (hour < 12 ? am_ : pm_) : FirstChar(hour < 12 ? am_ : pm_); break;
            default: out += t.text; break;
        }
    });
    return out;
}

bool PatternTimeText::Parse(const std::string& text, int& hour, int& minute, int& second) {
    size_t at = 0;
    int h = -1, m = 0, s = 0;
    bool twelve = false;
    int half = -1;  // 0 AM, 1 PM, -1 not given
    bool ok = true;
    ForEachToken(pattern_, [&](const Token& t) {
        if (!ok) return;
        if (t.field == 't') {
            const std::string am = t.count >= 2 ? am_ : FirstChar(am_);
            const std::string pm = t.count >= 2 ? pm_ : FirstChar(pm_);
            if (am.empty() && pm.empty()) return;  // a 24-hour system writes none
            // The longer first: one designator may begin with the other.
            const bool amFirst = am.size() >= pm.size();
            for (int k = 0; k < 2; ++k) {
                const bool tryAm = (k == 0) == amFirst;
                const std::string& word = tryAm ? am : pm;
                if (StartsWithNoCase(text, at, word)) {
                    half = tryAm ? 0 : 1;
                    at += word.size();
                    return;
                }
            }
            ok = false;
            return;
        }
        if (t.field == 0) {
            if (text.compare(at, t.text.size(), t.text) != 0) {
                ok = false;
                return;
            }
            at += t.text.size();
            return;
        }
        // One or two digits for a single letter, exactly two for a double.
        int v = 0, digits = 0;
        const int most = 2;
        while (digits < most && at < text.size() && text[at] >= '0' && text[at] <= '9') {
            v = v * 10 + (text[at++] - '0');
            ++digits;
        }
        if (digits == 0 || (t.count >= 2 && digits != 2)) {
            ok = false;
            return;
        }
        switch (t.field) {
            case 'h': h = v, twelve = true; break;
            case 'H': h = v; break;
            case 'm': m = v; break;
            case 's': s = v; break;
            default: break;
        }
    });
    if (!ok || at != text.size() || h < 0) return false;
    if (twelve) {
        if (h < 1 || h > 12) return false;
        if (half == 1) h = h % 12 + 12;
        else h = h % 12;
    }
    if (h > 23 || m > 59 || s > 59) return false;
    hour = h, minute = m, second = s;
    return true;
}

}  // namespace tkw
