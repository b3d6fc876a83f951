#include "console/text.h"

#include "hosting/utf8.h"

#include <cstdint>

namespace console {
namespace {

using hosting::appendUtf8;

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one code point at `at`, advancing it; malformed input yields U+FFFD for one byte.
char32_t decodeUtf8(const std::string& text, size_t& at) {
    auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(at);
    int extra = lead < 0x80           ? 0
                : (lead >> 5) == 0x6  ? 1
                : (lead >> 4) == 0xE  ? 2
                : (lead >> 3) == 0x1E ? 3
                                      : -1;
    if (extra < 0 || at + static_cast<size_t>(extra) >= text.size()) {
        ++at;
        return extra == 0 ? lead : kReplacement;
    }
    char32_t code = extra == 0 ? lead : lead & (0x3F >> extra);
    for (int i = 1; i <= extra; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) {
            ++at;
            return kReplacement;
        }
        code = (code << 6) | (byte(at + i) & 0x3F);
    }
    static const char32_t smallest[] = {0, 0x80, 0x800, 0x10000};
    if (code < smallest[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        ++at;
        return kReplacement;
    }
    at += static_cast<size_t>(extra) + 1;
    return code;
}

const char* const kControlNames[32] = {"NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL",
                                       "BS",  "HT",  "LF",  "VT",  "FF",  "CR",  "SO",  "SI",
                                       "DLE", "DC1", "DC2", "DC3", "DC4", "NAK", "SYN", "ETB",
                                       "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};

}  // namespace

std::string utf8FromHost(const ShortWchar* text, size_t length) {
    std::string out;
    if (text == nullptr) {
        return out;
    }
    for (size_t i = 0; i < length && text[i] != 0; ++i) {
        char32_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            appendUtf8(out, kReplacement);
        } else {
            appendUtf8(out, unit);
        }
    }
    return out;
}

std::string utf8FromHost(const ShortWchar* text) {
    return utf8FromHost(text, SIZE_MAX);
}

std::u16string hostFromUtf8(const std::string& text) {
    std::u16string out;
    for (size_t at = 0; at < text.size();) {
        char32_t code = decodeUtf8(text, at);
        if (code >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(code);
        }
    }
    return out;
}

std::string visible(const std::string& utf8) {
    std::string out;
    for (size_t at = 0; at < utf8.size();) {
        char32_t code = decodeUtf8(utf8, at);
        if (code < 0x20) {
            out += '<';
            out += kControlNames[code];
            out += '>';
        } else if (code == 0x7F) {
            out += "<DEL>";
        } else if (code >= 0x80 && code < 0xA0) {
            static const char hex[] = "0123456789ABCDEF";
            out += "<U+00";
            out += hex[code >> 4];
            out += hex[code & 0xF];
            out += '>';
        } else {
            appendUtf8(out, code);
        }
    }
    return out;
}

size_t displayLength(const std::string& utf8) {
    size_t count = 0;
    for (unsigned char c : utf8) {
        count += (c & 0xC0) != 0x80 ? 1 : 0;
    }
    return count;
}

bool splitWords(const std::string& line, std::vector<std::string>& words, std::string& problem) {
    words.clear();
    size_t at = 0;
    while (true) {
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) {
            ++at;
        }
        if (at >= line.size()) {
            return true;
        }
        std::string word;
        while (at < line.size() && line[at] != ' ' && line[at] != '\t') {
            if (line[at] != '"') {
                word += line[at++];
                continue;
            }
            ++at;
            while (at < line.size() && line[at] != '"') {
                if (line[at] == '\\' && at + 1 < line.size() &&
                    (line[at + 1] == '"' || line[at + 1] == '\\')) {
                    ++at;
                }
                word += line[at++];
            }
            if (at >= line.size()) {
                problem = "a double quote is not closed";
                return false;
            }
            ++at;
        }
        words.push_back(word);
    }
}

}  // namespace console
