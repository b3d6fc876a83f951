#include "component/conversions.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>

uint32_t convToShortWchar(ShortWchar** target, const wchar_t* source, uint32_t count) {
    if (count == 0) {
        count = static_cast<uint32_t>(source ? wcslen(source) : 0) + 1;
    }
    if (*target == nullptr) {
        *target = new ShortWchar[count];
    }
    ShortWchar* out = *target;
    if (source == nullptr) {
        std::fill_n(out, count, ShortWchar{0});
        return count;
    }
    // Each unit keeps its low 16 bits.
    copyUnits(out, source, count);
    return count;
}

uint32_t getLenShortWcharStr(const ShortWchar* text) {
    uint32_t length = 0;
    if (text) {
        while (text[length] != 0) {
            ++length;
        }
    }
    return length;
}

uint32_t convFromShortWchar(wchar_t** target, const ShortWchar* source, uint32_t count) {
    if (count == 0) {
        count = getLenShortWcharStr(source) + 1;
    }
    if (*target == nullptr) {
        *target = new wchar_t[count];
    }
    wchar_t* out = *target;
    for (uint32_t i = 0; i < count; ++i) {
        out[i] = source ? static_cast<wchar_t>(source[i]) : 0;
    }
    return count;
}

std::wstring convFromShortWchar(const ShortWchar* source, uint32_t length) {
    if (length == 0) {
        length = getLenShortWcharStr(source);
    }
    if (length == 0) {
        return std::wstring();
    }
    wchar_t* buffer = nullptr;
    convFromShortWchar(&buffer, source, length);
    std::unique_ptr<wchar_t[]> owned(buffer);
    return std::wstring(buffer, length);
}

std::wstring convFromShortWchar(const tVariant& variant) {
    // Only a string variant has a pointer in its value area.
    if (variant.typeCode != VariantShortString || variant.string.text == nullptr) {
        return std::wstring();
    }
    return convFromShortWchar(variant.string.text, variant.string.length);
}

namespace {

bool isHighSurrogate(uint32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool isLowSurrogate(uint32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// ASCII and not zero, in one test: the units narrowed as they are before a text's end.
bool isNonZeroAscii(wchar_t unit) {
    return static_cast<uint32_t>(unit) - 1 < 0x7F;
}

// Narrows the ASCII beginning of count units in whole blocks, up to the block that holds a zero
// unit or one outside ASCII; returns the units narrowed. The units are all read, so they must lie
// within the text.
// Blocks of a fixed length, each tested without a branch per unit: a loop compilers vectorize on
// every ABI, so every ABI runs the same code.
size_t narrowAsciiBlocks(char* out, const wchar_t* text, size_t count) {
    size_t used = 0;
    for (; used + kUnitBlock <= count; used += kUnitBlock) {
        uint32_t outside = 0;
        for (size_t i = 0; i < kUnitBlock; ++i) {
            outside |= static_cast<uint32_t>(!isNonZeroAscii(text[used + i]));
        }
        if (outside != 0) {
            break;
        }
        copyUnits(out + used, text + used, kUnitBlock);
    }
    return used;
}

// The character that starts at *p, moved past: surrogate pairs, as Java strings carry them, are
// joined into one character; a lone surrogate or a value beyond Unicode becomes U+FFFD.
uint32_t takeCharacter(const wchar_t*& p) {
    constexpr uint32_t kReplacement = 0xFFFD;
    uint32_t unit = static_cast<uint32_t>(*p++);
    if (isHighSurrogate(unit) && isLowSurrogate(static_cast<uint32_t>(*p))) {
        uint32_t low = static_cast<uint32_t>(*p++);
        return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
    }
    if (isHighSurrogate(unit) || isLowSurrogate(unit) || unit > 0x10FFFF) {
        return kReplacement;
    }
    return unit;
}

// Writes the UTF-8 bytes of one character (at most 4) and returns how many.
size_t encodeUtf8(uint32_t codePoint, char* out) {
    if (codePoint < 0x80) {
        out[0] = static_cast<char>(codePoint);
        return 1;
    }
    if (codePoint < 0x800) {
        out[0] = static_cast<char>(0xC0 | (codePoint >> 6));
        out[1] = static_cast<char>(0x80 | (codePoint & 0x3F));
        return 2;
    }
    if (codePoint < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (codePoint >> 12));
        out[1] = static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (codePoint & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (codePoint >> 18));
    out[1] = static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (codePoint & 0x3F));
    return 4;
}

// UTF-8 for the log when the C library's encoding cannot hold the text (the "C" locale holds
// no Cyrillic).
std::string toUtf8(const wchar_t* text) {
    std::string out;
    char character[4];
    for (const wchar_t* p = text; *p != 0;) {
        out.append(character, encodeUtf8(takeCharacter(p), character));
    }
    return out;
}

// Whether the C library's current encoding holds the whole text.
bool currentEncodingHolds(const wchar_t* text) {
    return wcstombs(nullptr, text, 0) != static_cast<size_t>(-1);
}

}  // namespace

std::string wstrtostr(const std::wstring& text) {
    const wchar_t* units = text.c_str();
    // ASCII is the same bytes in every encoding the C library offers, so a text of ASCII alone
    // (a barcode, as a rule) is narrowed unit by unit.
    size_t ascii = 0;
    while (isNonZeroAscii(units[ascii])) {
        ++ascii;
    }
    if (units[ascii] == 0) {
        std::string result(ascii, '\0');
        std::transform(units, units + ascii, result.begin(),
                       [](wchar_t unit) { return static_cast<char>(unit); });
        return result;
    }
    size_t needed = wcstombs(nullptr, units, 0);
    if (needed == static_cast<size_t>(-1)) {
        return toUtf8(units);
    }
    // Converted straight into the result; wcstombs writes at most needed bytes.
    std::string result(needed, '\0');
    size_t written = wcstombs(&result[0], units, needed);
    if (written == static_cast<size_t>(-1)) {
        return toUtf8(units);
    }
    result.resize(written);
    return result;
}

size_t narrowInto(char* out, size_t room, const wchar_t* text, size_t length) {
    // The ASCII beginning is the same bytes whichever encoding the rest takes. Whole blocks are
    // read only within the length, the rest unit by unit up to the zero after it.
    size_t used = narrowAsciiBlocks(out, text, std::min(room, length));
    for (; used < room && isNonZeroAscii(text[used]); ++used) {
        out[used] = static_cast<char>(text[used]);
    }
    const wchar_t* rest = text + used;
    if (used == room || *rest == 0) {
        return used;
    }
    if (currentEncodingHolds(rest)) {
        mbstate_t state{};
        char character[MB_LEN_MAX];
        for (; *rest != 0; ++rest) {
            size_t length = wcrtomb(character, *rest, &state);
            if (length == static_cast<size_t>(-1) || length > room - used) {
                break;
            }
            memcpy(out + used, character, length);
            used += length;
        }
        return used;
    }
    char character[4];
    while (*rest != 0) {
        size_t length = encodeUtf8(takeCharacter(rest), character);
        if (length > room - used) {
            break;
        }
        memcpy(out + used, character, length);
        used += length;
    }
    return used;
}

ShortWcharText::ShortWcharText(const std::wstring& text) {
    size_t length = wcslen(text.c_str());
    if (length >= kStackUnits) {
        m_heapUnits.reset(new ShortWchar[length + 1]);
        m_units = m_heapUnits.get();
    }
    convToShortWchar(&m_units, text.c_str(), static_cast<uint32_t>(length + 1));
}

WcharWrapper::WcharWrapper(const wchar_t* text) {
    if (text == nullptr) {
        return;
    }
    size_t length = wcslen(text);
    m_wideStr = new wchar_t[length + 1]();
    wmemcpy(m_wideStr, text, length);
    convToShortWchar(&m_shortStr, m_wideStr, static_cast<uint32_t>(length + 1));
}

WcharWrapper::WcharWrapper(const ShortWchar* text) {
    if (text == nullptr) {
        return;
    }
    uint32_t length = getLenShortWcharStr(text);
    m_shortStr = new ShortWchar[length + 1]();
    std::copy(text, text + length, m_shortStr);
    convFromShortWchar(&m_wideStr, m_shortStr, 0);
}

WcharWrapper::~WcharWrapper() {
    delete[] m_shortStr;
    m_shortStr = nullptr;
    delete[] m_wideStr;
    m_wideStr = nullptr;
}
