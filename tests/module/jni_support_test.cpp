#include "module/jni_support.h"
#include "component/conversions.h"
#include "module/trace.h"
#include "tests/support/log_capture.h"
#include "tests/support/vm.h"

#include <android/log.h>
#include <gtest/gtest.h>

#include <pthread.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

using testsupport::LogWindow;

namespace {

std::string envLine(const char* what, JNIEnv* env) {
    char line[64];
    snprintf(line, sizeof line, "%s, env = %08X", what,
             static_cast<unsigned>(reinterpret_cast<uintptr_t>(env) & 0xFFFFFFFFu));
    return line;
}

// Replaces the recorded VM for the life of the object.
class RecordedVm {
public:
    explicit RecordedVm(JavaVM* replacement) : m_saved(g_jvm.exchange(replacement)) {}
    ~RecordedVm() { g_jvm.store(m_saved); }

private:
    JavaVM* m_saved;
};

}  // namespace

TEST(JniOnLoad, RanWhenJavaLoadedTheLibraryAndRecordedTheVm) {
    std::vector<testsupport::LogRecord> records = testsupport::logRecords();
    ASSERT_FALSE(records.empty());
    EXPECT_EQ("JNI_OnLoad()", records.front().message);
    EXPECT_EQ(ANDROID_LOG_INFO, records.front().priority);
    EXPECT_EQ(kLogTag, records.front().tag);
    EXPECT_EQ(testsupport::vm(), g_jvm.load());
}

TEST(JniOnLoad, ReturnsVersionOneSixAndOverwritesTheVm) {
    LogWindow log;
    JavaVM* loaded = g_jvm.load();
    JavaVM other{};
    EXPECT_EQ(0x00010006, JNI_OnLoad(&other, nullptr));
    EXPECT_EQ(&other, g_jvm.load());
    JNI_OnUnload(&other, nullptr);
    EXPECT_EQ(nullptr, g_jvm.load());
    JNI_OnLoad(loaded, nullptr);
    EXPECT_EQ((std::vector<std::string>{"JNI_OnLoad()", "JNI_OnLoad()"}), log.messages());
}

TEST(GetJniEnv, OnAVmThreadReturnsItsEnvironment) {
    LogWindow log;
    JNIEnv* env = getJniEnv();
    EXPECT_EQ(testsupport::mainEnv(), env);
    EXPECT_EQ((std::vector<std::string>{"getJniEnv()", envLine("GetEnv()", env)}), log.messages());
}

TEST(GetJniEnv, AttachesANativeThreadOnceAsDaemonThenFindsIt) {
    JNIEnv* first = nullptr;
    JNIEnv* second = nullptr;
    std::vector<std::string> messages;
    jboolean daemon = JNI_FALSE;
    std::thread native([&] {
        LogWindow log;
        first = getJniEnv();
        second = getJniEnv();
        messages = log.messages();
        jclass threadClass = first->FindClass("java/lang/Thread");
        jmethodID current = first->GetStaticMethodID(threadClass, "currentThread", "()Ljava/lang/Thread;");
        jobject thread = first->CallStaticObjectMethod(threadClass, current);
        testsupport::expectNoPendingException(first);
        jmethodID isDaemon = first->GetMethodID(threadClass, "isDaemon", "()Z");
        daemon = first->CallBooleanMethod(thread, isDaemon);
        testsupport::expectNoPendingException(first);
        first->DeleteLocalRef(thread);
        first->DeleteLocalRef(threadClass);
    });
    native.join();
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(first, second);
    EXPECT_TRUE(daemon);
    EXPECT_EQ((std::vector<std::string>{"getJniEnv()", envLine("AttachCurrentThreadAsDaemon()", first),
                                        "getJniEnv()", envLine("GetEnv()", first)}),
              messages);
}

TEST(GetJniEnv, DetachesAnAttachedThreadWhenItEndsNotBefore) {
    JNIEnv* env = testsupport::mainEnv();
    int before = testsupport::vmThreadCount(env);
    int whileAlive = 0;
    std::thread native([&] {
        JNIEnv* attached = getJniEnv();
        ASSERT_NE(nullptr, attached);
        whileAlive = testsupport::vmThreadCount(attached);
    });
    native.join();
    EXPECT_EQ(before + 1, whileAlive);
    EXPECT_EQ(before, testsupport::vmThreadCount(env));
}

TEST(GetJniEnv, ManyShortNativeThreadsLeaveNoThreadBehind) {
    JNIEnv* env = testsupport::mainEnv();
    int before = testsupport::vmThreadCount(env);
    for (int i = 0; i < 50; ++i) {
        std::thread([] { getJniEnv(); }).join();
    }
    EXPECT_EQ(before, testsupport::vmThreadCount(env));
}

namespace {

jint JNICALL getEnvUnsupported(JavaVM*, void** env, jint) {
    *env = nullptr;
    return JNI_EVERSION;
}
jint JNICALL getEnvDetached(JavaVM*, void** env, jint) {
    *env = nullptr;
    return JNI_EDETACHED;
}
jint JNICALL attachRefused(JavaVM*, void**, void*) {
    return JNI_ERR;
}

}  // namespace

TEST(GetJniEnv, ReturnsNullAfterOnlyItsFirstLineWhenTheVmRefuses) {
    JNIInvokeInterface_ unsupported{};
    unsupported.GetEnv = getEnvUnsupported;
    JNIInvokeInterface_ refusesAttach{};
    refusesAttach.GetEnv = getEnvDetached;
    refusesAttach.AttachCurrentThreadAsDaemon = attachRefused;
    for (JNIInvokeInterface_* table : {&unsupported, &refusesAttach}) {
        JavaVM fake{table};
        RecordedVm recorded(&fake);
        LogWindow log;
        EXPECT_EQ(nullptr, getJniEnv());
        EXPECT_EQ(std::vector<std::string>{"getJniEnv()"}, log.messages());
    }
}

TEST(GetJniEnv, WithNoVmRecordedReturnsNull) {
    RecordedVm none(nullptr);
    LogWindow log;
    EXPECT_EQ(nullptr, getJniEnv());
    EXPECT_EQ(std::vector<std::string>{"getJniEnv()"}, log.messages());
    EXPECT_EQ(nullptr, WCHARp_To_Java(nullptr, u"text"));
    EXPECT_EQ(nullptr, WStr_To_Java(nullptr, L"text"));
}

TEST(NativeTrace, WritesTheJavaTextAsOneLiteralLine) {
    JNIEnv* env = testsupport::mainEnv();
    jclass traceClass =
        testsupport::findClass(env, "com/BTBarcodeScannerPackage/BTBarcodeScannerLib/BTBarcodeScannerClass");
    jmethodID nativeTrace = env->GetStaticMethodID(traceClass, "NativeTrace", "(Ljava/lang/String;)V");
    for (std::string text : {"100% done: %s %n %08X", "", "Сканер подключён"}) {
        LogWindow log;
        jstring javaText = testsupport::javaString(env, text);
        env->CallStaticVoidMethod(traceClass, nativeTrace, javaText);
        testsupport::expectNoPendingException(env);
        env->DeleteLocalRef(javaText);
        std::vector<testsupport::LogRecord> records = log.records();
        ASSERT_EQ(1u, records.size());
        EXPECT_EQ(text, records[0].message);
        EXPECT_EQ(ANDROID_LOG_INFO, records[0].priority);
        EXPECT_EQ(kLogTag, records[0].tag);
    }
    LogWindow log;
    env->CallStaticVoidMethod(traceClass, nativeTrace, nullptr);
    testsupport::expectNoPendingException(env);
    EXPECT_TRUE(log.messages().empty());
    env->DeleteLocalRef(traceClass);
}

TEST(JavaStrings, JavaToWideKeepsEveryUnitAndSurrogatePairs) {
    JNIEnv* env = testsupport::mainEnv();
    const jchar units[] = {'a', 0, 0x0416, 0xD83D, 0xDE00};
    jstring text = env->NewString(units, 5);
    EXPECT_EQ((std::wstring{L'a', 0, 0x0416, 0xD83D, 0xDE00}), Java_To_WStr(env, text));
    env->DeleteLocalRef(text);
    // Longer than a piece, every unit value from the top down: no unit may come out signed.
    std::vector<jchar> many(2500);
    std::wstring expected;
    for (size_t i = 0; i < many.size(); ++i) {
        many[i] = static_cast<jchar>(0xFFFF - i * 26);
        expected += static_cast<wchar_t>(many[i]);
    }
    jstring longText = env->NewString(many.data(), static_cast<jsize>(many.size()));
    EXPECT_TRUE(expected == Java_To_WStr(env, longText));
    env->DeleteLocalRef(longText);
    jstring empty = env->NewString(units, 0);
    EXPECT_EQ(L"", Java_To_WStr(env, empty));
    env->DeleteLocalRef(empty);
    EXPECT_EQ(L"", Java_To_WStr(env, nullptr));
    EXPECT_EQ(L"", Java_To_WStr(nullptr, nullptr));
}

TEST(JavaStrings, WideToJavaCutsUnitsAndStopsAtTheFirstZero) {
    JNIEnv* env = testsupport::mainEnv();
    jstring cut = WStr_To_Java(env, std::wstring{L'x', 0x1F600});
    ASSERT_NE(nullptr, cut);
    ASSERT_EQ(2, env->GetStringLength(cut));
    jchar units[2];
    env->GetStringRegion(cut, 0, 2, units);
    EXPECT_EQ(u'x', units[0]);
    EXPECT_EQ(0xF600, units[1]);
    env->DeleteLocalRef(cut);

    jstring stopped = WStr_To_Java(env, std::wstring{L'a', L'b', 0, L'c'});
    EXPECT_EQ("ab", testsupport::utf8(env, stopped));
    env->DeleteLocalRef(stopped);
}

TEST(JavaStrings, HostShortStringToJavaUsesTheCallingThreadsEnvironment) {
    JNIEnv* env = testsupport::mainEnv();
    LogWindow log;
    jstring empty = WCHARp_To_Java(nullptr, u"");
    ASSERT_NE(nullptr, empty);
    EXPECT_EQ(0, env->GetStringLength(empty));
    env->DeleteLocalRef(empty);
    EXPECT_EQ((std::vector<std::string>{"getJniEnv()", envLine("GetEnv()", env)}), log.messages());

    jstring cyrillic = WCHARp_To_Java(env, u"Штрихкод");
    EXPECT_EQ("Штрихкод", testsupport::utf8(env, cyrillic));
    env->DeleteLocalRef(cyrillic);
    EXPECT_EQ(nullptr, WCHARp_To_Java(env, nullptr));
}

TEST(Trace, WritesInfoRecordsWithTheLibraryTag) {
    LogWindow log;
    trace("value %d of %s", 7, "seven");
    std::vector<testsupport::LogRecord> records = log.records();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ("value 7 of seven", records[0].message);
    EXPECT_EQ(ANDROID_LOG_INFO, records[0].priority);
    EXPECT_EQ("MobileBarcodeScannerNative", records[0].tag);
}

TEST(JavaStrings, LongStringsConvertWholeEitherWay) {
    JNIEnv* env = testsupport::mainEnv();
    // Long enough to be read and written in several pieces, with a surrogate pair across the
    // boundary of every 256 units and units of every width.
    std::vector<jchar> units(1000);
    for (size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<jchar>(i % 3 == 0 ? 0x0416 : (i % 3 == 1 ? 'a' + i % 26 : 0xF000 + i));
    }
    for (size_t boundary = 256; boundary < units.size(); boundary += 256) {
        units[boundary - 1] = 0xD83D;
        units[boundary] = 0xDE00;
    }
    jstring text = env->NewString(units.data(), static_cast<jsize>(units.size()));
    std::wstring wide = Java_To_WStr(env, text);
    env->DeleteLocalRef(text);
    ASSERT_EQ(units.size(), wide.size());
    EXPECT_TRUE(std::equal(units.begin(), units.end(), wide.begin(), [](jchar unit, wchar_t wideUnit) {
        return static_cast<wchar_t>(unit) == wideUnit;
    }));

    jstring back = WStr_To_Java(env, wide);
    ASSERT_NE(nullptr, back);
    ASSERT_EQ(static_cast<jsize>(units.size()), env->GetStringLength(back));
    std::vector<jchar> backUnits(units.size());
    env->GetStringRegion(back, 0, static_cast<jsize>(backUnits.size()), backUnits.data());
    EXPECT_EQ(units, backUnits);
    env->DeleteLocalRef(back);
}

TEST(Trace, OutsideTextIsLiteralAndLongTextIsCutBetweenCharacters) {
    LogWindow log;
    traceText("50% off %s %n");
    traceText("4601234567893", "ExternalEvent message is - ");
    std::string cyrillic;
    while (cyrillic.size() < 3000) {
        cyrillic += "Штрихкод";  // two bytes a letter
    }
    traceText(cyrillic.c_str());
    traceText(cyrillic.c_str(), "prefix ");
    std::vector<std::string> messages = log.messages();
    ASSERT_EQ(4u, messages.size());
    EXPECT_EQ("50% off %s %n", messages[0]);
    EXPECT_EQ("ExternalEvent message is - 4601234567893", messages[1]);
    // Cut where the log cuts, but never inside a two-byte letter.
    EXPECT_EQ(1022u, messages[2].size());
    EXPECT_EQ(0, cyrillic.compare(0, messages[2].size(), messages[2]));
    EXPECT_EQ("prefix " + cyrillic.substr(0, 1016), messages[3]);
}

TEST(Trace, WideTextMakesTheLineItsWholeNarrowTextMakes) {
    // Only the part of a wide text that fits in the line is narrowed; the line must still be the
    // one of the whole text converted, in either encoding and across either cut.
    std::wstring cyrillic;
    while (cyrillic.size() < 1500) {
        cyrillic += L"Штрихкод";
    }
    const std::wstring texts[] = {
        std::wstring(2000, L'7'),
        cyrillic,
        std::wstring(1021, L'x') + L"\xD83D\xDE00 tail",                // a 4-byte character over the limit
        std::wstring(994, L'x') + L"Жx\xD83D\xDE00 tail",               // the same after the event prefix
        std::wstring(1200, L'x') + L"\xDC00",                           // a lone surrogate after the cut
        std::wstring{L'a', 0x0416, 0, L'c'},                            // a zero unit ends the text
        std::wstring(21, L'5') + L'\0' + L"after",                      // the same inside a block of ASCII
        std::wstring(11, L'x') + L"\x80\x7F" + std::wstring(20, L'y'),  // just above ASCII
        L"",
    };
    std::string savedLocale = setlocale(LC_CTYPE, nullptr);
    for (const char* locale : {"C", "C.UTF-8"}) {
        ASSERT_NE(nullptr, setlocale(LC_CTYPE, locale));
        for (const std::wstring& text : texts) {
            for (const char* prefix : {"", "ExternalEvent message is - "}) {
                LogWindow log;
                traceText(text, prefix);
                traceText(wstrtostr(text).c_str(), prefix);
                std::vector<std::string> lines = log.messages();
                ASSERT_EQ(2u, lines.size());
                EXPECT_TRUE(lines[0] == lines[1])
                    << locale << ", " << text.size() << " units, prefix \"" << prefix
                    << "\": " << lines[0].size() << " bytes instead of " << lines[1].size();
            }
        }
    }
    setlocale(LC_CTYPE, savedLocale.c_str());
}
