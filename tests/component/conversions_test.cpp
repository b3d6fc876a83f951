#include "component/conversions.h"

#include <gtest/gtest.h>

#include <clocale>
#include <memory>

namespace {

std::u16string shortString(const ShortWchar* text, uint32_t count) {
    return std::u16string(text, count);
}

// Sets the C library's character encoding for one test; the VM sets the process locale from
// the environment when it starts.
class CharacterLocale {
public:
    explicit CharacterLocale(const char* name)
        : m_saved(setlocale(LC_CTYPE, nullptr)), m_set(setlocale(LC_CTYPE, name)) {}
    ~CharacterLocale() { setlocale(LC_CTYPE, m_saved.c_str()); }
    bool isSet() const { return m_set != nullptr; }

private:
    std::string m_saved;
    const char* m_set;
};

}  // namespace

TEST(ToShortString, MeasuredCountAllocatesAndIncludesTheTerminator) {
    ShortWchar* target = nullptr;
    EXPECT_EQ(1u, convToShortWchar(&target, L"", 0));
    std::unique_ptr<ShortWchar[]> owned(target);
    ASSERT_NE(nullptr, target);
    EXPECT_EQ(0, target[0]);

    ShortWchar* word = nullptr;
    EXPECT_EQ(4u, convToShortWchar(&word, L"abc", 0));
    std::unique_ptr<ShortWchar[]> ownedWord(word);
    EXPECT_EQ(std::u16string(u"abc", 4), shortString(word, 4));
}

TEST(ToShortString, ExplicitCountWritesExactlyThatManyUnitsIntoTheCallersBuffer) {
    ShortWchar buffer[5] = {9, 9, 9, 9, 9};
    ShortWchar* target = buffer;
    EXPECT_EQ(3u, convToShortWchar(&target, L"abcdef", 3));
    EXPECT_EQ(buffer, target);
    EXPECT_EQ(std::u16string(u"abc\u0009\u0009"), shortString(buffer, 5));
}

TEST(ToShortString, KeepsTheLowSixteenBitsOfEachUnit) {
    ShortWchar* target = nullptr;
    const wchar_t text[] = {0x1F600, 0x0416, 0x10041, 0};
    convToShortWchar(&target, text, 0);
    std::unique_ptr<ShortWchar[]> owned(target);
    EXPECT_EQ((std::u16string{0xF600, 0x0416, 0x0041, 0}), shortString(target, 4));
}

TEST(FromShortString, WidensEachUnitAndKeepsSurrogatesApart) {
    const ShortWchar pair[] = {0xD83D, 0xDE00, 0x0416, 0xFFFF, 0};
    wchar_t* target = nullptr;
    EXPECT_EQ(5u, convFromShortWchar(&target, pair, 0));
    std::unique_ptr<wchar_t[]> owned(target);
    EXPECT_EQ((std::wstring{0xD83D, 0xDE00, 0x0416, 0xFFFF, 0}), std::wstring(target, 5));
    EXPECT_EQ((std::wstring{0xD83D, 0xDE00, 0x0416, 0xFFFF}), convFromShortWchar(pair));
}

TEST(FromShortString, ExplicitLengthKeepsInnerZerosMeasuredLengthStopsAtThem) {
    const ShortWchar text[] = {'a', 0, 'b', 0};
    std::wstring explicitLength = convFromShortWchar(text, 3);
    ASSERT_EQ(3u, explicitLength.size());
    EXPECT_EQ((std::wstring{L'a', 0, L'b'}), explicitLength);
    EXPECT_EQ(L"a", convFromShortWchar(text, 0));
    EXPECT_EQ(L"", convFromShortWchar(u"", 0));
}

TEST(FromShortString, RoundTripIsExactForEverySixteenBitValue) {
    std::u16string all;
    for (uint32_t unit = 1; unit <= 0xFFFF; ++unit) {
        all.push_back(static_cast<ShortWchar>(unit));
    }
    std::wstring wide = convFromShortWchar(all.c_str(), static_cast<uint32_t>(all.size()));
    ShortWchar* back = nullptr;
    convToShortWchar(&back, wide.c_str(), static_cast<uint32_t>(wide.size()));
    std::unique_ptr<ShortWchar[]> owned(back);
    EXPECT_EQ(all, shortString(back, static_cast<uint32_t>(all.size())));
}

TEST(FromShortString, NullSourcesReadNothing) {
    EXPECT_EQ(0u, getLenShortWcharStr(nullptr));
    EXPECT_EQ(L"", convFromShortWchar(static_cast<const ShortWchar*>(nullptr), 0));
    wchar_t* target = nullptr;
    EXPECT_EQ(1u, convFromShortWchar(&target, nullptr, 0));
    std::unique_ptr<wchar_t[]> owned(target);
    EXPECT_EQ(0, target[0]);
}

TEST(ShortStringLength, CountsUnitsBeforeTheFirstZero) {
    EXPECT_EQ(0u, getLenShortWcharStr(u""));
    EXPECT_EQ(8u, getLenShortWcharStr(u"Штрихкод"));
    EXPECT_EQ(1u, getLenShortWcharStr(u"a\0b"));
}

TEST(FromVariant, StringVariantGivesItsTextMeasuredWhenLengthIsZero) {
    ShortWchar text[] = u"BluetoothDevice";
    tVariant variant{};
    variant.typeCode = VariantShortString;
    variant.string.text = text;
    variant.string.length = 0;
    EXPECT_EQ(L"BluetoothDevice", convFromShortWchar(variant));
    variant.string.length = 9;
    EXPECT_EQ(L"Bluetooth", convFromShortWchar(variant));
}

TEST(FromVariant, VariantWithoutAStringGivesEmptyTextAndReadsNoPointer) {
    tVariant number{};
    number.typeCode = VariantInt32;
    number.intValue = 0x12345678;  // would be a wild pointer if read as one
    EXPECT_EQ(L"", convFromShortWchar(number));

    tVariant empty{};
    EXPECT_EQ(L"", convFromShortWchar(empty));

    tVariant nullString{};
    nullString.typeCode = VariantShortString;
    nullString.string.text = nullptr;
    nullString.string.length = 5;
    EXPECT_EQ(L"", convFromShortWchar(nullString));
}

TEST(WideToNarrow, KeepsWhatTheCLibraryConverts) {
    CharacterLocale plainC("C");
    EXPECT_EQ("GetVersion 1.0", wstrtostr(L"GetVersion 1.0"));
    EXPECT_EQ("", wstrtostr(L""));
    EXPECT_EQ("ab", wstrtostr(std::wstring{L'a', L'b', 0, L'c'}));
}

TEST(WideToNarrow, CyrillicUnderTheCLocaleBecomesReadableUtf8) {
    CharacterLocale plainC("C");
    EXPECT_EQ("Штрихкод 4601234567893", wstrtostr(L"Штрихкод 4601234567893"));
    // A surrogate pair as Java strings carry it is one character in the log.
    EXPECT_EQ("\xF0\x9F\x98\x80", wstrtostr(std::wstring{0xD83D, 0xDE00}));
    // What is no character at all is marked, not dropped.
    EXPECT_EQ(
        "a\xEF\xBF\xBD"
        "b",
        wstrtostr(std::wstring{L'a', 0xDE00, L'b'}));
    EXPECT_EQ("\xEF\xBF\xBD", wstrtostr(std::wstring{static_cast<wchar_t>(0x110000)}));
}

TEST(WideToNarrow, UsesTheCurrentEncodingWhenItHoldsTheText) {
    CharacterLocale utf8("C.UTF-8");
    ASSERT_TRUE(utf8.isSet());
    EXPECT_EQ("Сканер", wstrtostr(L"Сканер"));
}

TEST(WcharWrapper, HoldsOneTextInBothForms) {
    WcharWrapper fromWide(L"abc");
    ASSERT_NE(nullptr, fromWide.shortText());
    ASSERT_NE(nullptr, fromWide.wideText());
    EXPECT_EQ(std::u16string(u"abc", 4), shortString(fromWide.shortText(), 4));
    EXPECT_EQ(std::wstring(L"abc", 4), std::wstring(fromWide.wideText(), 4));

    WcharWrapper fromShort(u"abc");
    EXPECT_EQ(std::u16string(u"abc", 4), shortString(fromShort.shortText(), 4));
    EXPECT_EQ(std::wstring(L"abc", 4), std::wstring(fromShort.wideText(), 4));
}

TEST(WcharWrapper, NullTextOfEitherKindGivesAnEmptyObject) {
    WcharWrapper noWide(static_cast<const wchar_t*>(nullptr));
    EXPECT_EQ(nullptr, noWide.shortText());
    EXPECT_EQ(nullptr, noWide.wideText());
    WcharWrapper noShort(static_cast<const ShortWchar*>(nullptr));
    EXPECT_EQ(nullptr, noShort.shortText());
    EXPECT_EQ(nullptr, noShort.wideText());
}

TEST(WideToNarrow, ATextThatBeginsInAsciiIsConvertedWhole) {
    {
        CharacterLocale plainC("C");
        EXPECT_EQ("4601234567893 Штрихкод", wstrtostr(L"4601234567893 Штрихкод"));
        EXPECT_EQ("a\xEF\xBF\xBD", wstrtostr(std::wstring{L'a', 0xDC00}));
        EXPECT_EQ(std::string(300, 'x') + "\x7F", wstrtostr(std::wstring(300, L'x') + L"\x7F"));
    }
    CharacterLocale utf8("C.UTF-8");
    ASSERT_TRUE(utf8.isSet());
    EXPECT_EQ("ab Сканер", wstrtostr(L"ab Сканер"));
    EXPECT_EQ("ab", wstrtostr(std::wstring{L'a', L'b', 0, 0x0416}));
}
