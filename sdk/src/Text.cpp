#include "Text.h"

namespace vbe {

namespace {
void appendCodePoint(std::u16string& out, char32_t c)
{
    if (c >= 0x10000) {
        c -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(c));
    }
}
} // namespace

bool isUtf8(const std::uint8_t* s, std::size_t n)
{
    std::size_t i = 0;
    while (i < n) {
        std::uint8_t c = s[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t more = c >= 0xC2 && c <= 0xDF   ? 1
                           : c >= 0xE0 && c <= 0xEF ? 2
                           : c >= 0xF0 && c <= 0xF4 ? 3
                                                    : 0;
        if (more == 0 || n - i <= more)
            return false;
        std::uint8_t lo = 0x80, hi = 0xBF;
        if (c == 0xE0)
            lo = 0xA0;
        else if (c == 0xED)
            hi = 0x9F;
        else if (c == 0xF0)
            lo = 0x90;
        else if (c == 0xF4)
            hi = 0x8F;
        if (s[i + 1] < lo || s[i + 1] > hi)
            return false;
        for (std::size_t k = 2; k <= more; ++k)
            if ((s[i + k] & 0xC0) != 0x80)
                return false;
        i += more + 1;
    }
    return true;
}

std::u16string utf8ToUtf16(const std::uint8_t* s, std::size_t n)
{
    std::u16string out;
    out.reserve(n);
    std::size_t i = 0;
    while (i < n) {
        std::uint8_t b = s[i];
        if (b < 0x80) {
            out.push_back(b);
            ++i;
            continue;
        }
        int extra = 0;
        char32_t c = 0;
        char32_t min = 0;
        if ((b & 0xE0) == 0xC0) {
            extra = 1;
            c = b & 0x1F;
            min = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            extra = 2;
            c = b & 0x0F;
            min = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            extra = 3;
            c = b & 0x07;
            min = 0x10000;
        } else {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        if (i + extra >= n) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        bool ok = true;
        for (int k = 1; k <= extra; ++k) {
            std::uint8_t t = s[i + k];
            if ((t & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            c = (c << 6) | (t & 0x3F);
        }
        if (!ok || c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        appendCodePoint(out, c);
        i += extra + 1;
    }
    return out;
}

std::string utf16ToUtf8(const std::u16string& s)
{
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        char32_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
            s[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::u16string utf16beToUtf16(const std::uint8_t* s, std::size_t n)
{
    std::u16string out;
    out.reserve(n / 2);
    for (std::size_t i = 0; i + 1 < n; i += 2)
        out.push_back(static_cast<char16_t>((s[i] << 8) | s[i + 1]));
    return out;
}

std::u16string latin1ToUtf16(const std::uint8_t* s, std::size_t n)
{
    std::u16string out;
    out.reserve(n);
    for (std::size_t i = 0; i < n; ++i)
        out.push_back(s[i]);
    return out;
}

} // namespace vbe
