// The app's scanner peer with its Bluetooth transport, driven through the real library as the
// host drives it: the peer's classes compiled for Java 8 against our declarations of android.*,
// run here against fakes of those types (com.kestra.androidtest.FakeBluetooth plays the phone's
// Bluetooth and the scanners). The same program runs against the classes ProGuard shrank.
#include "tests/component/hosted_component.h"
#include "tests/support/host_connection.h"
#include "tests/support/host_memory.h"
#include "tests/support/vm.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

using componenttest::Call;
using componenttest::callByName;
using componenttest::HostedComponent;
using componenttest::isBoolean;
using componenttest::stringRecord;
using componenttest::text;
using testsupport::HostConnection;
using testsupport::HostMemory;

namespace {

const char* const kFakeBluetooth = "com/kestra/androidtest/FakeBluetooth";
const std::string kFirst = "00:11:22:33:44:01";
const std::string kSecond = "00:11:22:33:44:02";

// Calls a static method of FakeBluetooth with the given arguments; a Java exception fails the
// test. Strings go to Java as UTF-8 text.
class PhoneCall {
public:
    PhoneCall(const char* name, const char* signature) : m_env(testsupport::mainEnv()) {
        m_class = testsupport::findClass(m_env, kFakeBluetooth);
        m_method = m_env->GetStaticMethodID(m_class, name, signature);
        EXPECT_NE(nullptr, m_method) << name << signature;
    }
    ~PhoneCall() {
        for (jobject local : m_locals) {
            m_env->DeleteLocalRef(local);
        }
        m_env->DeleteLocalRef(m_class);
    }
    PhoneCall(const PhoneCall&) = delete;
    PhoneCall& operator=(const PhoneCall&) = delete;

    jstring string(const std::string& utf8) { return keep(testsupport::javaString(m_env, utf8)); }
    jbyteArray bytes(const std::string& raw) {
        jbyteArray array = m_env->NewByteArray(static_cast<jsize>(raw.size()));
        m_env->SetByteArrayRegion(array, 0, static_cast<jsize>(raw.size()),
                                  reinterpret_cast<const jbyte*>(raw.data()));
        return keep(array);
    }
    template <typename... Args>
    void run(Args... args) {
        m_env->CallStaticVoidMethod(m_class, m_method, args...);
        testsupport::expectNoPendingException(m_env);
    }
    template <typename... Args>
    bool yes(Args... args) {
        jboolean result = m_env->CallStaticBooleanMethod(m_class, m_method, args...);
        testsupport::expectNoPendingException(m_env);
        return result == JNI_TRUE;
    }
    template <typename... Args>
    int number(Args... args) {
        jint result = m_env->CallStaticIntMethod(m_class, m_method, args...);
        testsupport::expectNoPendingException(m_env);
        return result;
    }
    template <typename... Args>
    jobject object(Args... args) {
        jobject result = m_env->CallStaticObjectMethod(m_class, m_method, args...);
        testsupport::expectNoPendingException(m_env);
        return keep(result);
    }
    JNIEnv* env() const { return m_env; }

private:
    template <typename T>
    T keep(T local) {
        m_locals.push_back(local);
        return local;
    }
    JNIEnv* m_env;
    jclass m_class;
    jmethodID m_method = nullptr;
    std::vector<jobject> m_locals;
};

void phoneDoes(const char* name) {
    PhoneCall(name, "()V").run();
}

void bond(const std::string& address, const std::string& name) {
    PhoneCall call("bond", "(Ljava/lang/String;Ljava/lang/String;)V");
    call.run(call.string(address), call.string(name));
}

// AT_ONCE, NEVER or OUT_OF_RANGE: how the scanner answers a connect.
void scannerAnswers(const std::string& address, const std::string& answer) {
    PhoneCall call("answer", "(Ljava/lang/String;Ljava/lang/String;)V");
    call.run(call.string(address), call.string(answer));
}

void dropLink(const std::string& address) {
    PhoneCall call("dropLink", "(Ljava/lang/String;)V");
    call.run(call.string(address));
}

void setPermission(bool granted, bool grantWhenAsked) {
    PhoneCall("setPermission", "(ZZ)V").run(jboolean(granted), jboolean(grantWhenAsked));
}

void setAdapter(bool present, bool on) {
    PhoneCall("setAdapter", "(ZZ)V").run(jboolean(present), jboolean(on));
}

void setSdk(int level) {
    PhoneCall("setSdk", "(I)V").run(jint(level));
}

// The scanner sends raw bytes; false when it has no link.
bool scannerSends(const std::string& address, const std::string& bytes) {
    PhoneCall call("send", "(Ljava/lang/String;[B)Z");
    return call.yes(call.string(address), call.bytes(bytes));
}

bool linked(const std::string& address) {
    PhoneCall call("linked", "(Ljava/lang/String;)Z");
    return call.yes(call.string(address));
}

// "secure" or "insecure" for each connect so far, joined by blanks.
std::string connectKinds() {
    PhoneCall call("connectKinds", "()Ljava/lang/String;");
    return testsupport::utf8(call.env(), static_cast<jstring>(call.object()));
}

int phoneCount(const char* name) {
    return PhoneCall(name, "()I").number();
}

// The permissions the peer asked the activity for, "PERMISSION #code" each, joined by "|".
std::string permissionRequests() {
    PhoneCall call("permissionRequests", "()[Ljava/lang/String;");
    auto requests = static_cast<jobjectArray>(call.object());
    std::string all;
    for (jsize i = 0; requests != nullptr && i < call.env()->GetArrayLength(requests); ++i) {
        auto request = static_cast<jstring>(call.env()->GetObjectArrayElement(requests, i));
        all += (all.empty() ? "" : "|") + testsupport::utf8(call.env(), request);
        call.env()->DeleteLocalRef(request);
    }
    return all;
}

// The app's choices for its scanners, as an app sets them before the host creates the peer.
void chooseOptions(const std::string& address, const std::string& options) {
    JNIEnv* env = testsupport::mainEnv();
    jclass chosen = testsupport::findClass(env, "com/kestra/MobileBarcodeScannerPackage/ScannerOptions");
    if (chosen == nullptr) {
        return;
    }
    jmethodID set = env->GetStaticMethodID(chosen, "set", "(Ljava/lang/String;Ljava/lang/String;)V");
    jstring key = testsupport::javaString(env, address);
    jstring value = testsupport::javaString(env, options);
    env->CallStaticVoidMethod(chosen, set, key, value);
    testsupport::expectNoPendingException(env);
    env->DeleteLocalRef(value);
    env->DeleteLocalRef(key);
    env->DeleteLocalRef(chosen);
}

void forgetOptions() {
    JNIEnv* env = testsupport::mainEnv();
    jclass chosen = env->FindClass("com/kestra/MobileBarcodeScannerPackage/ScannerOptions");
    jmethodID clear = chosen != nullptr ? env->GetStaticMethodID(chosen, "clear", "()V") : nullptr;
    if (clear != nullptr) {
        env->CallStaticVoidMethod(chosen, clear);
    }
    env->ExceptionClear();  // the peer shrunk without its keep rules has no such class
    if (chosen != nullptr) {
        env->DeleteLocalRef(chosen);
    }
}

// The phone's language, as the user set it (java.util.Locale's default).
void setLanguage(const std::string& language) {
    JNIEnv* env = testsupport::mainEnv();
    jclass locale = env->FindClass("java/util/Locale");
    jmethodID make = env->GetMethodID(locale, "<init>", "(Ljava/lang/String;)V");
    jmethodID setDefault = env->GetStaticMethodID(locale, "setDefault", "(Ljava/util/Locale;)V");
    jstring code = testsupport::javaString(env, language);
    jobject chosen = env->NewObject(locale, make, code);
    env->CallStaticVoidMethod(locale, setDefault, chosen);
    testsupport::expectNoPendingException(env);
    env->DeleteLocalRef(chosen);
    env->DeleteLocalRef(code);
    env->DeleteLocalRef(locale);
}

std::u16string u16(const std::string& ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

std::string utf8(const std::u16string& text) {
    JNIEnv* env = testsupport::mainEnv();
    jstring java =
        env->NewString(reinterpret_cast<const jchar*>(text.data()), static_cast<jsize>(text.size()));
    std::string result = testsupport::utf8(env, java);
    env->DeleteLocalRef(java);
    return result;
}

// The host's side: a component created through the exports and connected, which shows the peer.
class Phone : public ::testing::Test {
protected:
    void SetUp() override {
        phoneDoes("reset");
        forgetOptions();
        setLanguage("en");
    }
    void TearDown() override {
        component.reset();
        phoneDoes("reset");
        forgetOptions();
    }

    void startDriver() {
        component = std::make_unique<HostedComponent>();
        component->initDone()->setMemManager(&memory);
        ASSERT_TRUE(component->initDone()->Init(&connection));
    }
    ILanguageExtenderBase* driver() { return component->extender(); }

    void choose(const std::string& address) {
        const std::u16string name = u"BluetoothDevice";
        const std::u16string value = u16(address);
        ASSERT_TRUE(isBoolean(
            callByName(driver(), u"SetParameter", {stringRecord(name), stringRecord(value)}).result, true));
    }
    bool open() { return isBoolean(callByName(driver(), u"Open").result, true); }
    bool test() { return isBoolean(callByName(driver(), u"DeviceTest").result, true); }
    bool close() { return isBoolean(callByName(driver(), u"Close").result, true); }
    std::u16string lastError() { return text(callByName(driver(), u"GetLastError").parameters[0]); }
    std::u16string choiceList() {
        std::u16string document = text(callByName(driver(), u"GetParameters").parameters[0]);
        size_t start = document.find(u"<ChoiceList>");
        size_t end = document.find(u"</ChoiceList>");
        return start == std::u16string::npos || end == std::u16string::npos
                   ? u"(no choice list)"
                   : document.substr(start + 12, end - start - 12);
    }
    // The reader notices a lost link on its own thread: asks until the error says so.
    bool errorSoonSays(const std::u16string& part) {
        for (int attempt = 0; attempt < 1000; ++attempt) {
            if (lastError().find(part) != std::u16string::npos) {
                return true;
            }
            usleep(10 * 1000);
        }
        return false;
    }
    std::u16string eventData(size_t index) { return connection.events().at(index).data; }

    HostMemory memory;
    HostConnection connection;
    std::unique_ptr<HostedComponent> component;
};

}  // namespace

TEST_F(Phone, TwoBondedScannersAreListedEscapedAndEachOpenOneSendsItsWholeLines) {
    bond(kFirst, "Склад <Bay 1> & \"A\"");
    bond(kSecond, "Scanner 2");
    startDriver();
    EXPECT_EQ(
        u"<Item Value=\"00:11:22:33:44:01\">Склад &lt;Bay 1&gt; &amp; &quot;A&quot;</Item>"
        u"<Item Value=\"00:11:22:33:44:02\">Scanner 2</Item>",
        choiceList());

    choose(kFirst);
    ASSERT_TRUE(test()) << "test connects and lets go";
    EXPECT_FALSE(linked(kFirst));
    ASSERT_TRUE(open());
    EXPECT_EQ(2, phoneCount("connectCount"));
    EXPECT_LE(2, phoneCount("discoveryCancelCount")) << "every connect cancels discovery first";
    // CR, LF and CR LF end a line, also split across reads; a line that is no UTF-8 is decoded
    // with the fallback code page (Windows-1252 for English); a line of 100 KB is refused whole
    // and the reader goes on.
    ASSERT_TRUE(scannerSends(kFirst, "4006381333931\r"));
    ASSERT_TRUE(scannerSends(kFirst, "\nСчёт №7\nBAD-\xff-\xd0\n"));
    ASSERT_TRUE(scannerSends(kFirst, std::string(100 * 1024, 'L') + "\r\nAFTER-LONG\r"));
    ASSERT_TRUE(connection.waitForEvents(4)) << connection.eventCount();
    EXPECT_EQ(u"4006381333931", eventData(0));
    EXPECT_EQ(u"Счёт №7", eventData(1));
    EXPECT_EQ(u"BAD-ÿ-Ð", eventData(2));
    EXPECT_EQ(u"AFTER-LONG", eventData(3));
    EXPECT_EQ(u"MobileScannerDevice", connection.events().at(0).source);
    EXPECT_NE(std::u16string::npos,
              lastError().find(u"sent a line of 102400 bytes, more than the 65536 a barcode "
                               u"may have; it was refused whole"))
        << utf8(lastError());

    // Once Close returns the link is closed and the reader gone; the other scanner opens.
    ASSERT_TRUE(close());
    EXPECT_FALSE(linked(kFirst));
    choose(kSecond);
    ASSERT_TRUE(open());
    EXPECT_EQ(u"no error has occurred", lastError()) << "a successful open clears the last error";
    ASSERT_TRUE(scannerSends(kSecond, "SECOND-1\n"));
    ASSERT_TRUE(connection.waitForEvents(5));
    EXPECT_EQ(u"SECOND-1", eventData(4));
    EXPECT_EQ(5u, connection.eventCount());
    ASSERT_TRUE(close());
}

TEST_F(Phone, ALinkDroppedMidLineSendsNoFragmentAndOpenConnectsAgain) {
    bond(kFirst, "Scanner");
    startDriver();
    choose(kFirst);
    ASSERT_TRUE(open());
    ASSERT_TRUE(scannerSends(kFirst, "WHOLE\nPARTIAL-40063"));
    ASSERT_TRUE(connection.waitForEvents(1));
    dropLink(kFirst);
    EXPECT_TRUE(
        errorSoonSays(u"scanner 'Scanner' (00:11:22:33:44:01) was disconnected: the Bluetooth link was "
                      u"lost (switched off or out of range): bt socket closed, read return: -1; the 13 "
                      u"bytes received after the last line end were no whole barcode and were dropped"))
        << utf8(lastError());
    EXPECT_TRUE(test()) << "back in range: test connects and lets go";
    // Plugged in again (back in range): open connects again and clears the error.
    ASSERT_TRUE(open());
    EXPECT_EQ(u"no error has occurred", lastError());
    ASSERT_TRUE(scannerSends(kFirst, "AGAIN\r\n"));
    ASSERT_TRUE(connection.waitForEvents(2));
    ASSERT_TRUE(close());
    EXPECT_EQ(2u, connection.eventCount());
    EXPECT_EQ(u"WHOLE", eventData(0));
    EXPECT_EQ(u"AGAIN", eventData(1));
}

TEST_F(Phone, AScannerOutOfRangeOrNeverAnsweringFailsOpenAndTestWithItsOwnReason) {
    bond(kFirst, "Far");
    bond(kSecond, "Silent");
    scannerAnswers(kFirst, "OUT_OF_RANGE");
    scannerAnswers(kSecond, "NEVER");
    startDriver();
    choose(kFirst);
    // Refused secure, then insecure: the error names both.
    EXPECT_FALSE(test());
    EXPECT_EQ(
        u"test of scanner 'Far' (00:11:22:33:44:01) failed: the scanner did not answer: it is switched off "
        u"or out of range (secure connect: read failed, socket might closed or timeout, read ret: -1; "
        u"insecure connect: read failed, socket might closed or timeout, read ret: -1)",
        lastError());
    EXPECT_EQ("secure insecure", connectKinds());
    EXPECT_FALSE(open());
    EXPECT_NE(std::u16string::npos, lastError().find(u"cannot open scanner 'Far'")) << utf8(lastError());

    // A connect that never completes: Open gives up after its deadline and ends the connect.
    choose(kSecond);
    EXPECT_FALSE(open());
    EXPECT_EQ(
        u"cannot open scanner 'Silent' (00:11:22:33:44:02): it did not connect within 10 s (a secure connect "
        u"was tried): the scanner is switched off, out of range or connected to another phone",
        lastError());
    EXPECT_FALSE(linked(kSecond));
    EXPECT_EQ(0u, connection.eventCount());
}

TEST_F(Phone, AScannerThatRefusesASecureLinkIsConnectedInsecure) {
    bond(kFirst, "Insecure");
    scannerAnswers(kFirst, "INSECURE_ONLY");
    startDriver();
    choose(kFirst);
    ASSERT_TRUE(test());
    EXPECT_EQ(u"no error has occurred", lastError());
    ASSERT_TRUE(open());
    EXPECT_EQ("secure insecure secure insecure", connectKinds());
    ASSERT_TRUE(scannerSends(kFirst, "INSECURE-1\n"));
    ASSERT_TRUE(connection.waitForEvents(1));
    EXPECT_EQ(u"INSECURE-1", eventData(0));
    ASSERT_TRUE(close());
    EXPECT_FALSE(linked(kFirst));
}

TEST_F(Phone, ARefusedPermissionIsAskedForAtShowReportedClearlyAndUsedOnceGranted) {
    bond(kFirst, "Scanner");
    setPermission(false, false);
    startDriver();
    EXPECT_EQ("android.permission.BLUETOOTH_CONNECT #19283", permissionRequests());
    const std::u16string refused =
        u"the app may not use Bluetooth devices: the permission \"Nearby devices\" was "
        u"refused; allow it in the app's settings, then try again";
    EXPECT_EQ(u"", choiceList());
    EXPECT_EQ(refused, lastError());
    choose(kFirst);
    EXPECT_FALSE(test());
    EXPECT_EQ(refused, lastError());
    EXPECT_FALSE(open());
    EXPECT_EQ(refused, lastError());
    EXPECT_EQ(0, phoneCount("connectCount"));

    setPermission(true, false);
    EXPECT_EQ(u"<Item Value=\"00:11:22:33:44:01\">Scanner</Item>", choiceList());
    ASSERT_TRUE(open());
    ASSERT_TRUE(close());
}

TEST_F(Phone, BeforeApi31ThePermissionComesWithTheInstallAndIsNeverAskedFor) {
    bond(kFirst, "Scanner");
    setSdk(30);
    setPermission(false, false);
    startDriver();
    EXPECT_EQ("", permissionRequests());
    choose(kFirst);
    ASSERT_TRUE(open());
    ASSERT_TRUE(close());
}

TEST_F(Phone, AdapterOffNoAdapterAndNoBondedDeviceEachSayWhy) {
    startDriver();
    EXPECT_EQ(u"", choiceList());
    EXPECT_EQ(
        u"no Bluetooth device is paired with this phone: pair the scanner in the phone's Bluetooth settings "
        u"first",
        lastError());
    choose(kFirst);
    EXPECT_FALSE(open());
    EXPECT_EQ(
        u"the Bluetooth device 00:11:22:33:44:01 is not paired with this phone: pair it in the phone's "
        u"Bluetooth settings, then choose it again",
        lastError());

    bond(kFirst, "Scanner");
    setAdapter(true, false);
    EXPECT_EQ(u"", choiceList());
    EXPECT_EQ(u"Bluetooth is switched off: switch it on, then try again", lastError());
    EXPECT_FALSE(test());
    EXPECT_EQ(u"Bluetooth is switched off: switch it on, then try again", lastError());

    setAdapter(false, false);
    EXPECT_FALSE(open());
    EXPECT_EQ(u"this phone has no Bluetooth", lastError());

    setAdapter(true, true);
    ASSERT_TRUE(open());
    ASSERT_TRUE(close());
}

// What old scanners send: text in a single-byte code page. A valid UTF-8 line is UTF-8 whatever
// the phone's language; any other line is decoded with the code page of that language, or the
// one the app chose.
TEST_F(Phone, LinesThatAreNoUtf8AreDecodedWithTheCodePageOfThePhonesLanguageOrTheAppsChoice) {
    const std::string windows1251 = "\xCD\xE0\xEA\xEB\xE0\xE4\xED\xE0\xFF 1251";  // Накладная 1251
    const std::string latin1 =
        "M\xFCller Stra\xDF"
        "e caf\xE9";  // Müller Straße café
    const std::string utf8Text = "Счёт №7 Müller";
    const std::string mixed = "\xD0\x96-\xFF";  // UTF-8 Ж, then a byte no UTF-8 has: all fallback
    const std::u16string asCyrillic[] = {u"Накладная 1251", u"Mьller StraЯe cafй", u"Счёт №7 Müller",
                                         u"Р–-я"};
    const std::u16string asWestern[] = {u"Íàêëàäíàÿ 1251", u"Müller Straße café", u"Счёт №7 Müller", u"Ð–-ÿ"};
    struct Case {
        const char* language;
        const char* forAll;     // the app's options for every device ("" for none)
        const char* forDevice;  // and for this one
        const std::u16string* expected;
    };
    const Case cases[] = {
        {"ru", "", "", asCyrillic},
        {"uk", "", "", asCyrillic},
        {"be", "", "", asCyrillic},
        {"bg", "", "", asCyrillic},
        {"sr", "", "", asCyrillic},
        {"kk", "", "", asCyrillic},
        {"en", "", "", asWestern},
        {"de", "", "", asWestern},
        {"pl", "", "", asWestern},
        {"en", "codepage=windows-1251", "", asCyrillic},
        {"ru", "codepage=windows-1251", "codepage=windows-1252", asWestern},
        {"de", "codepage=ISO-8859-1", "CODEPAGE=Windows-1251", asCyrillic},
    };
    bond(kFirst, "Old scanner");
    for (const Case& each : cases) {
        SCOPED_TRACE(std::string(each.language) + " / " + each.forAll + " / " + each.forDevice);
        forgetOptions();
        setLanguage(each.language);
        if (*each.forAll != '\0') {
            chooseOptions("*", each.forAll);
        }
        if (*each.forDevice != '\0') {
            // Addresses are compared without regard to case.
            chooseOptions(
                "00:11:22:33:44:0"
                "1",
                each.forDevice);
        }
        const size_t before = connection.eventCount();
        startDriver();
        choose(kFirst);
        ASSERT_TRUE(open());
        ASSERT_TRUE(scannerSends(
            kFirst, windows1251 + "\r\n" + latin1 + "\r\n" + utf8Text + "\r\n" + mixed + "\r\n"));
        ASSERT_TRUE(connection.waitForEvents(before + 4)) << connection.eventCount();
        for (size_t i = 0; i < 4; ++i) {
            EXPECT_EQ(utf8(each.expected[i]), utf8(eventData(before + i))) << "line " << i;
        }
        ASSERT_TRUE(close());
        component.reset();
    }
}

// Multi-line codes (a vCard in a QR code, a driving licence in PDF417) keep their line breaks
// under idle-gap framing; line framing, the default, still makes each line a barcode.
TEST_F(Phone, IdleGapFramingKeepsAMultiLineCodeWholeAndLineFramingStaysTheDefault) {
    const std::string vcard = "BEGIN:VCARD\nN:Doe;John\r\nTEL:+1555\rEND:VCARD";
    bond(kFirst, "QR scanner");
    bond(kSecond, "Line scanner");
    chooseOptions("00:11:22:33:44:01", "framing=idle-gap idle-gap-ms=50");
    startDriver();
    choose(kFirst);
    ASSERT_TRUE(open());
    ASSERT_TRUE(scannerSends(kFirst, vcard + "\r\n"));
    ASSERT_TRUE(connection.waitForEvents(1));
    // A line end split from its barcode by the gap ends nothing more; one in a later write after
    // the gap starts no empty barcode.
    ASSERT_TRUE(scannerSends(kFirst, "SECOND\r"));
    ASSERT_TRUE(connection.waitForEvents(2));
    ASSERT_TRUE(scannerSends(kFirst, "\nTHIRD\n"));
    ASSERT_TRUE(connection.waitForEvents(3));
    // What it costs: two barcodes with no pause between them are one.
    ASSERT_TRUE(scannerSends(kFirst, "BATCH-1\nBATCH-2\n"));
    ASSERT_TRUE(connection.waitForEvents(4));
    // A barcode whose line end came just before the link dropped is whole.
    ASSERT_TRUE(scannerSends(kFirst, "LAST\n"));
    dropLink(kFirst);
    ASSERT_TRUE(connection.waitForEvents(5));
    EXPECT_EQ(u"BEGIN:VCARD\nN:Doe;John\r\nTEL:+1555\rEND:VCARD", eventData(0));
    EXPECT_EQ(u"SECOND", eventData(1));
    EXPECT_EQ(u"THIRD", eventData(2));
    EXPECT_EQ(u"BATCH-1\nBATCH-2", eventData(3));
    EXPECT_EQ(u"LAST", eventData(4));
    ASSERT_TRUE(close());

    choose(kSecond);
    ASSERT_TRUE(open());
    ASSERT_TRUE(scannerSends(kSecond, vcard + "\r\n"));
    ASSERT_TRUE(connection.waitForEvents(9));
    EXPECT_EQ(u"BEGIN:VCARD", eventData(5));
    EXPECT_EQ(u"N:Doe;John", eventData(6));
    EXPECT_EQ(u"TEL:+1555", eventData(7));
    EXPECT_EQ(u"END:VCARD", eventData(8));
    ASSERT_TRUE(close());
    EXPECT_EQ(9u, connection.eventCount());
}

TEST_F(Phone, OptionsThatCannotBeUsedAreRefusedWithTheReason) {
    JNIEnv* env = testsupport::mainEnv();
    jclass chosen = testsupport::findClass(env, "com/kestra/MobileBarcodeScannerPackage/ScannerOptions");
    ASSERT_NE(nullptr, chosen);
    jmethodID set = env->GetStaticMethodID(chosen, "set", "(Ljava/lang/String;Ljava/lang/String;)V");
    const std::pair<const char*, const char*> refused[] = {
        {"codepage=no-such-code-page", "'no-such-code-page' is no code page this system knows"},
        {"codepage=UTF-16", "does not write CR and LF as single bytes"},
        {"framing=paragraph", "framing is 'line' or 'idle-gap', not 'paragraph'"},
        {"idle-gap-ms=0", "idle-gap-ms is a number of milliseconds from 1 to 2000, not '0'"},
        {"retry-cap-ms=60000", "retry-cap-ms is a number of milliseconds from 1 to 30000"},
        {"speed=fast", "unknown option 'speed=fast'"},
    };
    for (const auto& each : refused) {
        jstring address = testsupport::javaString(env, "*");
        jstring options = testsupport::javaString(env, each.first);
        env->CallStaticVoidMethod(chosen, set, address, options);
        jthrowable thrown = env->ExceptionOccurred();
        env->ExceptionClear();
        ASSERT_NE(nullptr, thrown) << each.first;
        jclass throwable = env->FindClass("java/lang/Throwable");
        auto message = static_cast<jstring>(
            env->CallObjectMethod(thrown, env->GetMethodID(throwable, "getMessage", "()Ljava/lang/String;")));
        testsupport::expectNoPendingException(env);
        EXPECT_NE(std::string::npos, testsupport::utf8(env, message).find(each.second)) << each.first;
        env->DeleteLocalRef(message);
        env->DeleteLocalRef(throwable);
        env->DeleteLocalRef(thrown);
        env->DeleteLocalRef(options);
        env->DeleteLocalRef(address);
    }
    env->DeleteLocalRef(chosen);
}
