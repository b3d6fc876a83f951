// Conversions between the three text forms of the library: host short strings (16-bit units),
// wide strings (32-bit wchar_t units, the form of all text inside the library) and narrow
// strings (only for the log). Between 16 and 32 bits the conversion works unit by unit: a unit
// is widened with zeros or cut to its low 16 bits, never decoded as UTF-16.
#pragma once

#include "host/host_api.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// Copies count units of source into *target, each cut to 16 bits. A count of 0 means the whole
// text with its terminator. A null *target gets a fresh array (new[]) owned by the caller;
// otherwise *target must hold count units. Returns the count of units written.
uint32_t convToShortWchar(ShortWchar** target, const wchar_t* source, uint32_t count = 0);

// Number of units before the first zero unit; 0 for a null text.
uint32_t getLenShortWcharStr(const ShortWchar* text);

// The mirror of convToShortWchar: widens count units of source into *target.
uint32_t convFromShortWchar(wchar_t** target, const ShortWchar* source, uint32_t count = 0);

// Exactly length units of source (a zero unit inside them is kept); a length of 0 measures the
// text up to its terminator.
std::wstring convFromShortWchar(const ShortWchar* source, uint32_t length = 0);

// The text of a string variant; empty for a variant that holds no string.
std::wstring convFromShortWchar(const tVariant& variant);

// The text up to its first zero unit as a narrow string for the log: in the C library's current
// multibyte encoding when it can hold the text, otherwise in UTF-8.
std::string wstrtostr(const std::wstring& text);

// The leading whole characters of wstrtostr(text) that fit in room bytes, written to out without
// a terminator; returns the bytes written. The text is length units followed by a zero unit (the
// form of a wide string's c_str()) and ends at its first zero unit. Only what fits is converted,
// so a log line of a long text costs no more than the line. A text that is not ASCII is still
// read to its end, to learn which of the two encodings wstrtostr would use.
size_t narrowInto(char* out, size_t room, const wchar_t* text, size_t length);

// Units of one width copied to another, each keeping its low bits. They go in blocks of a fixed
// length, which compilers turn into vector code, and the rest one by one.
constexpr size_t kUnitBlock = 8;
template <typename To, typename From>
void copyUnits(To* __restrict out, const From* __restrict in, size_t count) {
    size_t i = 0;
    for (; i + kUnitBlock <= count; i += kUnitBlock) {
        for (size_t j = 0; j < kUnitBlock; ++j) {
            out[i + j] = static_cast<To>(in[i + j]);
        }
    }
    for (; i < count; ++i) {
        out[i] = static_cast<To>(in[i]);
    }
}

// A wide text up to its first zero unit as a host short string, for handing over at once: on the
// stack when it is short (barcodes and device addresses are), on the heap otherwise.
class ShortWcharText {
public:
    explicit ShortWcharText(const std::wstring& text);
    ShortWcharText(const ShortWcharText&) = delete;
    ShortWcharText& operator=(const ShortWcharText&) = delete;

    const ShortWchar* units() const { return m_units; }

private:
    static constexpr size_t kStackUnits = 64;
    ShortWchar m_stackUnits[kStackUnits];
    std::unique_ptr<ShortWchar[]> m_heapUnits;
    ShortWchar* m_units = m_stackUnits;
};

// One text held both as a host short string and as a wide string. Empty (both null) when built
// from a null pointer.
class WcharWrapper {
public:
    explicit WcharWrapper(const wchar_t* text);
    explicit WcharWrapper(const ShortWchar* text);
    ~WcharWrapper();
    WcharWrapper(const WcharWrapper&) = delete;
    WcharWrapper& operator=(const WcharWrapper&) = delete;

    const ShortWchar* shortText() const { return m_shortStr; }
    const wchar_t* wideText() const { return m_wideStr; }

private:
    ShortWchar* m_shortStr = nullptr;
    wchar_t* m_wideStr = nullptr;
};
