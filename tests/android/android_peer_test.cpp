// The app's scanner peer with its transports, driven through the real library as the host
// drives it: the peer's classes compiled for Java 8 against our declarations of android.*, run
// here against fakes of those types (com.kestra.androidtest.FakeBluetooth plays the phone's
// Bluetooth and the serial-port scanners, FakeInput its keyboards, the keyboard-mode scanners
// and the host's window). The same program runs against the classes ProGuard shrank.
#include "tests/component/hosted_component.h"
#include "tests/support/host_connection.h"
#include "tests/support/host_memory.h"
#include "tests/support/vm.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
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
const char* const kFakeInput = "com/kestra/androidtest/FakeInput";
const char* const kApp = "com/kestra/androidtest/ScanningActivity";
const std::string kFirst = "00:11:22:33:44:01";
const std::string kSecond = "00:11:22:33:44:02";
// Scanners over Bluetooth LE: "ble:" and the hardware address.
const std::string kRing = "AA:BB:CC:DD:EE:01";
const std::string kGun = "AA:BB:CC:DD:EE:02";

std::string ble(const std::string& address) {
    return "ble:" + address;
}

// Calls a static method of FakeBluetooth (or another fake or app class) with the given
// arguments; a Java exception fails the test. Strings go to Java as UTF-8 text.
class PhoneCall {
public:
    PhoneCall(const char* name, const char* signature, const char* className = kFakeBluetooth)
        : m_env(testsupport::mainEnv()) {
        m_class = testsupport::findClass(m_env, className);
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

// The scanner connects to the phone by itself; false when the phone did not listen.
bool scannerConnectsToPhone(const std::string& address) {
    PhoneCall call("connectToPhone", "(Ljava/lang/String;)Z");
    return call.yes(call.string(address));
}

bool phoneListens() {
    return PhoneCall("listeningForScanners", "()Z").yes();
}

// Asks until the condition holds, for as long as a reconnection or an event may take.
template <typename Condition>
bool soonTrue(Condition condition) {
    for (int attempt = 0; attempt < 1000; ++attempt) {
        if (condition()) {
            return true;
        }
        usleep(10 * 1000);
    }
    return false;
}

// "secure" or "insecure" for each connect so far, joined by blanks.
std::string connectKinds() {
    PhoneCall call("connectKinds", "()Ljava/lang/String;");
    return testsupport::utf8(call.env(), static_cast<jstring>(call.object()));
}

int phoneCount(const char* name) {
    return PhoneCall(name, "()I").number();
}

bool phoneSays(const char* name) {
    return PhoneCall(name, "()Z").yes();
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

// The phone's keyboards (FakeInput).
const std::string kScanner = "d4f3a2b1c0e9";
const std::string kScannerAddress = "hid:" + kScanner;
const std::string kHuman = "0a1b2c3d4e5f";

void connectKeyboard(const std::string& descriptor, const std::string& name, bool isVirtual = false,
                     bool external = true) {
    PhoneCall call("connect", "(Ljava/lang/String;Ljava/lang/String;ZZ)I", kFakeInput);
    call.number(call.string(descriptor), call.string(name), jboolean(isVirtual), jboolean(external));
}

void disconnectKeyboard(const std::string& descriptor) {
    PhoneCall call("disconnect", "(Ljava/lang/String;)V", kFakeInput);
    call.run(call.string(descriptor));
}

void setPhoneLayout(const std::string& layout) {
    PhoneCall call("setPhoneLayout", "(Ljava/lang/String;)V", kFakeInput);
    call.run(call.string(layout));
}

// Types a script of keys (see FakeInput) on the keyboard, dispatched through the window.
void typeKeys(const std::string& descriptor, const std::string& script) {
    PhoneCall call("type", "(Ljava/lang/String;Ljava/lang/String;)V", kFakeInput);
    call.run(call.string(descriptor), call.string(script));
}

std::string inputText(const char* name) {
    PhoneCall call(name, "()Ljava/lang/String;", kFakeInput);
    return testsupport::utf8(call.env(), static_cast<jstring>(call.object()));
}

// What reached the host's view; what the window's callback is ("view", "wrapper", "proxy").
std::string viewText() {
    return inputText("viewText");
}
std::string topCallback() {
    return inputText("topCallback");
}

void inputDoes(const char* name) {
    PhoneCall(name, "()V", kFakeInput).run();
}

// The app's configuration of its keyboard scanners, from its own code.
void configureKeyboardScanner(const std::string& address, const std::string& layout, bool tabEnds) {
    PhoneCall call("configureKeyboardScanner", "(Ljava/lang/String;Ljava/lang/String;Z)V", kApp);
    call.run(call.string(address), call.string(layout), jboolean(tabEnds));
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

// A scanner over Bluetooth LE (profiles: NORDIC, NORDIC_SWAPPED, MICROCHIP, FFE0, TIO, BATTERY,
// HID), bonded or not, advertising its service or not, agreeing to an MTU of at most largestMtu.
void leScanner(const std::string& address, const std::string& name, const std::string& profile, bool bonded,
               bool advertises, int largestMtu = 247) {
    PhoneCall call("leScanner", "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;ZZI)V");
    call.run(call.string(address), call.string(name), call.string(profile), jboolean(bonded),
             jboolean(advertises), jint(largestMtu));
}

// AT_ONCE, NEVER, OUT_OF_RANGE, NO_SERVICES_ANSWER or REFUSES_NOTIFICATIONS.
void leAnswers(const std::string& address, const std::string& answer) {
    PhoneCall call("leAnswer", "(Ljava/lang/String;Ljava/lang/String;)V");
    call.run(call.string(address), call.string(answer));
}

// The LE scanner notifies bytes, `chunk` bytes a notification (0: as many as the MTU allows);
// false when the app has not switched its notifications on.
bool leSends(const std::string& address, const std::string& bytes, int chunk = 0) {
    PhoneCall call("leSend", "(Ljava/lang/String;[BI)Z");
    return call.yes(call.string(address), call.bytes(bytes), jint(chunk));
}

// The LE scanner keeps bytes until the app switches its notifications on, then sends them at
// once, before the phone answers the app's write.
void leStores(const std::string& address, const std::string& bytes) {
    PhoneCall call("leStore", "(Ljava/lang/String;[B)V");
    call.run(call.string(address), call.bytes(bytes));
}

// The LE link drops with a phone's status (8: the supervision timeout).
void leDrop(const std::string& address, int status) {
    PhoneCall call("leDrop", "(Ljava/lang/String;I)V");
    call.run(call.string(address), jint(status));
}

// notifications, creditsGranted, creditWrites, heldBack, connects, transport, mtu,
// clientsClosed, linked.
int leStat(const std::string& address, const std::string& what) {
    PhoneCall call("leStat", "(Ljava/lang/String;Ljava/lang/String;)I");
    return call.number(call.string(address), call.string(what));
}

void setLocation(bool granted) {
    PhoneCall("setLocation", "(Z)V").run(jboolean(granted));
}

// Whether the calling thread (any thread the VM knows) is one of the fake phone's binder threads.
bool onBinderThread() {
    JNIEnv* env = nullptr;
    if (testsupport::vm()->GetEnv(reinterpret_cast<void**>(&env), JNI_VERSION_1_6) != JNI_OK) {
        return false;
    }
    jclass phone = testsupport::findClass(env, kFakeBluetooth);
    jmethodID method = env->GetStaticMethodID(phone, "onBinderThread", "()Z");
    bool result = env->CallStaticBooleanMethod(phone, method) == JNI_TRUE;
    env->DeleteLocalRef(phone);
    return result;
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
        resetPhone();
        setLanguage("en");
    }
    void TearDown() override {
        component.reset();
        EXPECT_EQ(0, eventsOnBinderThreads.load());
        EXPECT_GT(1000, phoneCount("slowestCallbackMillis")) << "a GATT callback blocked";
        resetPhone();
    }
    static void resetPhone() {
        phoneDoes("reset");
        inputDoes("reset");
        PhoneCall("forgetKeyboardScanners", "()V", kApp).run();
        forgetOptions();
    }

    void startDriver() {
        // The platform's binder threads only queue: no barcode reaches the host on one of them.
        connection.setOnEvent([this](const testsupport::RecordedEvent&) {
            if (onBinderThread()) {
                ++eventsOnBinderThreads;
            }
        });
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
        return soonTrue([&] { return lastError().find(part) != std::u16string::npos; });
    }
    // An open keyboard scanner checks its capture on its own thread: asks until it is on top.
    static bool captureSoonOnTop() {
        return soonTrue([] { return topCallback() == "proxy"; });
    }
    // The barcodes that arrived from event `first` on, joined by "|".
    std::u16string barcodesFrom(size_t first) {
        std::u16string joined;
        std::vector<testsupport::RecordedEvent> events = connection.events();
        for (size_t i = first; i < events.size(); ++i) {
            joined += (i == first ? u"" : u"|") + events[i].data;
        }
        return joined;
    }
    std::u16string eventData(size_t index) { return connection.events().at(index).data; }
    // The scanner sends one barcode; true when it is the only event to arrive after those so far.
    bool arrivesOnce(const std::string& barcode) {
        size_t before = connection.eventCount();
        if (!scannerSends(kFirst, barcode + "\n") || !connection.waitForEvents(before + 1)) {
            return false;
        }
        usleep(50 * 1000);  // a second delivery of the same barcode would come right behind it
        return connection.eventCount() == before + 1 && eventData(before) == u16(barcode);
    }

    // The texts of the events so far from the first'th on, one a line.
    std::u16string allEvents(size_t first = 0) {
        std::u16string all;
        std::vector<testsupport::RecordedEvent> events = connection.events();
        for (size_t i = first; i < events.size(); ++i) {
            all += events[i].data + u"\n";
        }
        return all;
    }

    HostMemory memory;
    HostConnection connection;
    std::unique_ptr<HostedComponent> component;
    std::atomic<int> eventsOnBinderThreads{0};
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

    // A connect that never completes: Open gives up after its deadline and ends the connect. An
    // LE scanner that never answers, opened meanwhile by a second driver, gives up the same way
    // and names the step it waited in.
    leScanner(kRing, "Ring", "NORDIC", true, false);
    leAnswers(kRing, "NEVER");
    HostMemory leMemory;
    HostConnection leConnection;
    HostedComponent leDriver;
    leDriver.initDone()->setMemManager(&leMemory);
    ASSERT_TRUE(leDriver.initDone()->Init(&leConnection));
    const std::u16string leAddress = u16(ble(kRing));
    ASSERT_TRUE(isBoolean(callByName(leDriver.extender(), u"SetParameter",
                                     {stringRecord(u"BluetoothDevice"), stringRecord(leAddress)})
                              .result,
                          true));
    std::u16string leError;
    std::thread leHost([&] {
        EXPECT_TRUE(isBoolean(callByName(leDriver.extender(), u"Open").result, false));
        leError = text(callByName(leDriver.extender(), u"GetLastError").parameters[0]);
    });
    choose(kSecond);
    EXPECT_FALSE(open());
    leHost.join();
    EXPECT_EQ(
        u"cannot open scanner 'Silent' (00:11:22:33:44:02): it did not connect within 10 s (a secure connect "
        u"was tried): the scanner is switched off, out of range or connected to another phone",
        lastError());
    EXPECT_FALSE(linked(kSecond));
    EXPECT_EQ(0u, connection.eventCount());
    EXPECT_EQ(
        u"cannot open scanner 'Ring' (ble:AA:BB:CC:DD:EE:01): no answer within 10 s while connecting: the "
        u"scanner is switched off, out of range or connected to another phone",
        leError);
    EXPECT_EQ(1, leStat(kRing, "clientsClosed"));
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
    EXPECT_EQ("android.permission.BLUETOOTH_CONNECT,android.permission.BLUETOOTH_SCAN #19283",
              permissionRequests())
        << "the search for LE scanners is asked for with the connect";
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
        u"first; still searching for Bluetooth LE scanners: open the settings again in a few seconds to list "
        u"those found",
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

    // While Bluetooth switches on or off, the phone lists its bonded devices as null.
    setAdapter(true, true);
    PhoneCall("setBondedUnavailable", "(Z)V").run(jboolean(true));
    EXPECT_EQ(u"", choiceList());
    const std::u16string notReady =
        u"Bluetooth is not ready (it is switching on or off): try again in a moment";
    EXPECT_EQ(notReady, lastError());
    EXPECT_FALSE(open());
    EXPECT_EQ(notReady, lastError());

    PhoneCall("setBondedUnavailable", "(Z)V").run(jboolean(false));
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

namespace {

// Waits until the flag is set, for as long as an event may take to arrive.
bool soon(const std::atomic<bool>& flag) {
    for (int attempt = 0; attempt < 1000 && !flag; ++attempt) {
        usleep(10 * 1000);
    }
    return flag;
}

}  // namespace

// A host's event handler runs on the thread that delivered the barcode and may call anything
// there. Each call returns, and the driver goes on working: a later Open reaches the scanner and
// each barcode arrives once.
TEST_F(Phone, EveryHostCallFromTheBarcodeHandlerReturnsAndLeavesTheDriverUsable) {
    const std::vector<std::pair<const char*, std::function<void()>>> calls = {
        {"Close", [&] { close(); }},
        {"Open of the same device", [&] { open(); }},
        {"Open of another device",
         [&] {
             choose(kSecond);
             open();
         }},
        {"DeviceTest", [&] { test(); }},
        {"GetLastError", [&] { lastError(); }},
        {"GetParameters", [&] { choiceList(); }},
        {"SetParameter", [&] { choose(kSecond); }},
        {"Init again", [&] { component->initDone()->Init(&connection); }},
        {"Init with null", [&] { component->initDone()->Init(nullptr); }},
        {"DestroyObject", [&] { component.reset(); }},
    };
    for (const auto& call : calls) {
        SCOPED_TRACE(call.first);
        phoneDoes("reset");
        bond(kFirst, "Scanner");
        bond(kSecond, "Other");
        startDriver();
        choose(kFirst);
        ASSERT_TRUE(open());
        std::atomic<bool> called{false}, returned{false};
        connection.setOnEvent([&](const testsupport::RecordedEvent&) {
            if (!called.exchange(true)) {
                call.second();
                returned = true;
            }
        });
        ASSERT_TRUE(scannerSends(kFirst, "FROM-HANDLER\n"));
        ASSERT_TRUE(soon(returned)) << "the call from the handler did not return";
        connection.setOnEvent(nullptr);

        if (!component) {
            startDriver();
        } else {
            ASSERT_TRUE(component->initDone()->Init(&connection));
        }
        choose(kFirst);
        ASSERT_TRUE(open()) << utf8(lastError());
        EXPECT_TRUE(arrivesOnce("AFTER-HANDLER"));
        EXPECT_TRUE(close());
        EXPECT_FALSE(linked(kFirst));
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

// The host thread closes while the handler, on the reader's thread, asks for a device test: the
// close must not hold what the test needs while it waits for the reader.
TEST_F(Phone, CloseOnTheHostThreadAndDeviceTestFromTheHandlerBothReturn) {
    bond(kFirst, "Scanner");
    startDriver();
    choose(kFirst);
    ASSERT_TRUE(open());
    std::atomic<bool> inHandler{false}, closing{false}, returned{false};
    connection.setOnEvent([&](const testsupport::RecordedEvent&) {
        inHandler = true;
        while (!closing) {
            usleep(1000);
        }
        usleep(100 * 1000);  // the host thread is inside Close by now
        test();
        returned = true;
    });
    ASSERT_TRUE(scannerSends(kFirst, "A\n"));
    ASSERT_TRUE(soon(inHandler));
    closing = true;
    EXPECT_TRUE(close());
    EXPECT_TRUE(returned) << "Close returned before the reader's handler did";
    connection.setOnEvent(nullptr);
    EXPECT_FALSE(linked(kFirst));
}

// What the host drops is closed: a component destroyed without Close, and the peer a second Init
// replaces, leave no link behind, so the scanner opens again and each barcode arrives once.
TEST_F(Phone, DestroyWithoutCloseAndASecondInitCloseTheLinkSoTheScannerOpensAgain) {
    bond(kFirst, "Scanner");
    startDriver();
    choose(kFirst);
    ASSERT_TRUE(open());
    component.reset();
    EXPECT_FALSE(linked(kFirst)) << "DestroyObject left the link open";

    startDriver();
    choose(kFirst);
    ASSERT_TRUE(open());
    EXPECT_TRUE(arrivesOnce("FIRST-COMPONENT"));
    ASSERT_TRUE(component->initDone()->Init(&connection));
    EXPECT_FALSE(linked(kFirst)) << "a second Init left the old peer's link open";
    ASSERT_TRUE(open());
    EXPECT_TRUE(arrivesOnce("NEW-PEER"));
    ASSERT_TRUE(close());
    EXPECT_FALSE(linked(kFirst));
    scannerSends(kFirst, "AFTER-CLOSE\n");
    usleep(50 * 1000);
    EXPECT_EQ(2u, connection.eventCount()) << "a barcode after Close reached the host";
}

// Whatever goes wrong on the reader's thread, it never dies silently: an exception the host's
// handler leaves pending is cleared before it reaches the peer, and anything the link throws ends
// the reader with its reason, closes the link and lets Open connect again.
TEST_F(Phone, TheReaderNeverDiesSilently) {
    bond(kFirst, "Scanner");
    startDriver();
    choose(kFirst);
    ASSERT_TRUE(open());
    connection.setOnEvent([](const testsupport::RecordedEvent&) {
        JNIEnv* env = hosting::currentEnv();
        jclass failure = env->FindClass("java/lang/IllegalStateException");
        env->ThrowNew(failure, "left pending by the host's handler");
        // The reference is released when the delivery returns to Java.
    });
    ASSERT_TRUE(scannerSends(kFirst, "PENDING-1\nPENDING-2\n"));
    ASSERT_TRUE(connection.waitForEvents(2));
    connection.setOnEvent(nullptr);
    EXPECT_TRUE(arrivesOnce("STILL-READING"));
    EXPECT_EQ(u"no error has occurred", lastError());

    int connects = phoneCount("connectCount");
    PhoneCall call("failReads", "(Ljava/lang/String;)V");
    call.run(call.string(kFirst));
    EXPECT_TRUE(
        errorSoonSays(u"scanner 'Scanner' (00:11:22:33:44:01) was disconnected: reading stopped on an "
                      u"unexpected error: java.lang.IllegalStateException: scripted failure of the link"))
        << utf8(lastError());
    // The reader closes the link as it ends, on its own thread.
    for (int attempt = 0; attempt < 1000 && linked(kFirst); ++attempt) {
        usleep(10 * 1000);
    }
    EXPECT_FALSE(linked(kFirst));
    ASSERT_TRUE(open());
    EXPECT_EQ(connects + 1, phoneCount("connectCount")) << "Open counted the dead reader as open";
    EXPECT_TRUE(arrivesOnce("READING-AGAIN"));
    ASSERT_TRUE(close());
}

// An interrupt of the host's thread aborts at most the one open it meets, and is used up there.
TEST_F(Phone, AnInterruptOfTheHostThreadAbortsOneOpenAndIsNotKept) {
    bond(kFirst, "Scanner");
    startDriver();
    choose(kFirst);
    phoneDoes("interruptCaller");
    if (!open()) {
        EXPECT_NE(std::u16string::npos, lastError().find(u"interrupted")) << utf8(lastError());
    }
    EXPECT_FALSE(PhoneCall("callerInterrupted", "()Z").yes()) << "the interrupt was left set";
    ASSERT_TRUE(close());
    ASSERT_TRUE(open()) << utf8(lastError());
    EXPECT_TRUE(arrivesOnce("AFTER-INTERRUPT"));
    ASSERT_TRUE(close());
}

// Without an activity nothing can be asked, but a permission already granted is used, and one
// refused is reported as refused by the call that needed it.
TEST_F(Phone, WithoutAnActivityTheGrantedPermissionIsUsed) {
    bond(kFirst, "Scanner");
    hosting::AndroidHelper::Options noActivity;
    noActivity.activityTitle = nullptr;
    HostConnection withoutActivity(noActivity);
    component = std::make_unique<HostedComponent>();
    component->initDone()->setMemManager(&memory);
    ASSERT_TRUE(component->initDone()->Init(&withoutActivity));
    EXPECT_EQ(u"<Item Value=\"00:11:22:33:44:01\">Scanner</Item>", choiceList());
    choose(kFirst);
    ASSERT_TRUE(open()) << utf8(lastError());
    ASSERT_TRUE(close());
    setPermission(false, false);
    EXPECT_FALSE(open());
    EXPECT_NE(std::u16string::npos, lastError().find(u"\"Nearby devices\" was refused")) << utf8(lastError());
    component.reset();
}

// Scanners in keyboard mode: the keys of one keyboard, captured in the host's window and
// decoded by the layout the scanner types for.
struct Typing {
    const char* what;
    const char* scannerLayout;  // as the app configures it for the scanner
    bool tabEnds;
    const char* phoneLayout;
    const char* keys;
    std::u16string barcodes;  // joined by "|"
};

TEST_F(Phone, AKeyboardScannerTypesBarcodesByItsOwnLayoutWithControlCharacters) {
    const Typing typings[] = {
        {"digits, letters and punctuation with Shift", "us", false, "us",
         "4 0 0 6 shift+k e rshift+s t shift+1 shift+dot shift+slash enter", u"4006KeSt!>?"},
        {"Caps Lock shifts letters only, Shift undoes it", "us", false, "us", "caps a 1 shift+b caps c enter",
         u"A1bc"},
        {"GS as Ctrl+]", "us", false, "us", "0 1 ctrl+rbracket 9 3 rctrl+rbracket enter",
         u"01\x1D"
         u"93\x1D"},
        {"GS as Alt with keypad 0029", "us", false, "us", "0 1 +alt kp0 kp0 kp2 kp9 -alt 9 3 enter",
         u"01\x1D"
         u"93"},
        {"Ctrl with letters and [ ^ _", "us", false, "us",
         "ctrl+d ctrl+lbracket ctrl+shift+6 ctrl+shift+minus x enter",
         u"\x04\x1B\x1E\x1F"
         u"x"},
        {"a US scanner on a phone set to French", "us", false, "fr", "shift+h shift+a 1 1 2 q w m enter",
         u"HA112qwm"},
        {"a US scanner on a phone set to Russian", "us", false, "ru", "shift+h shift+a 1 1 2 q w m enter",
         u"HA112qwm"},
        {"an AZERTY scanner configured as such", "fr", false, "us",
         "shift+h shift+q shift+1 shift+1 shift+2 q a 1 2 altgr+e altgr+0 ctrl+alt+e ctrl+q enter",
         u"HA112aq&\u00e9\u20ac@\u20ac\x01"},
        {"AZERTY dead keys: circumflex, diaeresis, before a space and before x", "fr", false, "us",
         "lbracket e shift+lbracket i lbracket space lbracket x enter", u"\u00ea\u00ef^^x"},
        {"QWERTZ dead acute, circumflex and grave, AltGr", "de", false, "us",
         "equal e grave a shift+equal e altgr+q y enter", u"\u00e9\u00e2\u00e8@z"},
        {"a Russian scanner configured as such", "ru", false, "us", "q w e shift+r grave ctrl+rbracket enter",
         u"\u0439\u0446\u0443\u041a\u0451\x1D"},
        {"Enter as key-up only, as both, as a down whose up comes a key later, and on the keypad", "us",
         false, "us", "1 2 -enter 3 +enter -enter 4 +enter 5 -enter 6 kpenter", u"12|3|4|56"},
        {"Tab ends a barcode where the app chooses it", "us", true, "us", "a tab b enter", u"a|b"},
        {"Tab is a character otherwise", "us", false, "us", "a tab b enter", u"a\tb"},
        {"Escape, Backspace and auto-repeated presses type nothing", "us", false, "us",
         "esc 1 ~1 backspace 2 ~enter enter", u"12"},
    };
    connectKeyboard(kScanner, "Barcode Scanner");
    startDriver();
    choose(kScannerAddress);
    for (const Typing& typing : typings) {
        SCOPED_TRACE(typing.what);
        configureKeyboardScanner(kScannerAddress, typing.scannerLayout, typing.tabEnds);
        setPhoneLayout(typing.phoneLayout);
        size_t first = connection.eventCount();
        ASSERT_TRUE(open()) << utf8(lastError());
        typeKeys(kScanner, typing.keys);
        size_t expected = 1 + std::count(typing.barcodes.begin(), typing.barcodes.end(), u'|');
        EXPECT_TRUE(connection.waitForEvents(first + expected));
        ASSERT_TRUE(close());
        EXPECT_EQ(typing.barcodes, barcodesFrom(first)) << utf8(barcodesFrom(first));
    }
    EXPECT_EQ("", viewText()) << "none of the scanner's keys reached the host's view";
}

TEST_F(Phone, KeyboardScannersAreListedApartFromSerialOnesAndTestedWhileConnected) {
    bond(kFirst, "Serial <1>");
    connectKeyboard(kScanner, "Scanner & Co");
    connectKeyboard("virtual-0", "Virtual", true, true);
    connectKeyboard("built-in-0", "Built-in keyboard", false, false);
    PhoneCall buttons("connectButtons", "(Ljava/lang/String;Ljava/lang/String;)I", kFakeInput);
    buttons.number(buttons.string("gpio-keys"), buttons.string("Volume buttons"));
    startDriver();
    EXPECT_EQ(
        u"<Item Value=\"00:11:22:33:44:01\">Serial &lt;1&gt;</Item>"
        u"<Item Value=\"hid:d4f3a2b1c0e9\">Scanner &amp; Co (keyboard)</Item>",
        choiceList());
    // Before API 29 a built-in keyboard cannot be told from an external one.
    setSdk(28);
    EXPECT_NE(std::u16string::npos, choiceList().find(u"Built-in keyboard (keyboard)"));
    setSdk(31);

    choose("HID:" + kScanner);
    EXPECT_TRUE(test()) << utf8(lastError());
    EXPECT_EQ("view", topCallback()) << "a test captures nothing once it is done";
    disconnectKeyboard(kScanner);
    EXPECT_FALSE(test());
    EXPECT_EQ(
        u"test of scanner 'Scanner & Co' (hid:d4f3a2b1c0e9) failed: it is not connected as a keyboard: "
        u"switch "
        u"the scanner on, or pair it in keyboard mode in the phone's Bluetooth settings",
        lastError());
    EXPECT_FALSE(open());
    // The descriptor survives reconnection, unlike the device id.
    connectKeyboard(kScanner, "Scanner & Co");
    EXPECT_TRUE(open()) << utf8(lastError());
    ASSERT_TRUE(close());
}

TEST_F(Phone, OnlyTheScannersKeysAreCapturedAndCloseRestoresTheWindowsCallback) {
    connectKeyboard(kScanner, "Scanner");
    connectKeyboard(kHuman, "Keyboard");
    startDriver();
    choose(kScannerAddress);
    ASSERT_TRUE(open());
    EXPECT_EQ("proxy", topCallback());
    // A person types on another keyboard at the same time: their keys reach the host's view.
    typeKeys(kHuman, "h i");
    typeKeys(kScanner, "+4 0 0");
    typeKeys(kHuman, "shift+a");
    typeKeys(kScanner, "-4 6 esc enter");
    typeKeys(kHuman, "enter esc");
    ASSERT_TRUE(connection.waitForEvents(1));
    EXPECT_EQ(u"4006", eventData(0));
    EXPECT_EQ("hiA\n<ESC>", viewText()) << "the scanner's Escape never reaches the host";
    PhoneCall focus("windowFocus", "(Z)V", kFakeInput);
    focus.run(jboolean(false));
    EXPECT_EQ(1, PhoneCall("focusChanges", "()I", kFakeInput).number()) << "other callbacks pass unchanged";

    ASSERT_TRUE(close());
    EXPECT_EQ("view", topCallback());
    typeKeys(kScanner, "5 enter");
    EXPECT_EQ("hiA\n<ESC>5\n", viewText()) << "once closed, the scanner types into the host's view";
    EXPECT_EQ(1u, connection.eventCount());
}

TEST_F(Phone, ACallbackTheHostSetsOverTheCaptureIsWrappedAgainAndKeptAtClose) {
    connectKeyboard(kScanner, "Scanner");
    startDriver();
    choose(kScannerAddress);
    ASSERT_TRUE(open());
    inputDoes("hostWrapsCallback");
    ASSERT_TRUE(captureSoonOnTop());
    // The notice follows the capture back on top: it is waited for too.
    EXPECT_TRUE(errorSoonSays(u"the capture was taken up again")) << utf8(lastError());
    typeKeys(kScanner, "7 enter");
    ASSERT_TRUE(connection.waitForEvents(1));
    // Close leaves the host's wrapper in place; what it wraps passes every key on.
    ASSERT_TRUE(close());
    EXPECT_EQ("wrapper", topCallback());
    typeKeys(kScanner, "8");
    EXPECT_EQ("8", viewText());

    ASSERT_TRUE(open());
    inputDoes("hostReplacesCallback");
    ASSERT_TRUE(captureSoonOnTop());
    typeKeys(kScanner, "9 enter");
    ASSERT_TRUE(connection.waitForEvents(2));
    ASSERT_TRUE(close());
    EXPECT_EQ("view", topCallback());
    EXPECT_EQ(u"7|9", barcodesFrom(0));
    EXPECT_EQ("8", viewText());
}

TEST_F(Phone, AKeyboardScannerDisconnectedMidBarcodeSendsNoFragmentAndOpensAgain) {
    connectKeyboard(kScanner, "Scanner");
    startDriver();
    choose(kScannerAddress);
    ASSERT_TRUE(open());
    typeKeys(kScanner, "1 2 enter 3 4 5");
    ASSERT_TRUE(connection.waitForEvents(1));
    disconnectKeyboard(kScanner);
    EXPECT_TRUE(errorSoonSays(
        u"scanner 'Scanner' (hid:d4f3a2b1c0e9) was disconnected: the keyboard disconnected (switched off, "
        u"out "
        u"of range or unpaired); the 3 bytes received after the last line end were no whole barcode and were "
        u"dropped"))
        << utf8(lastError());
    connectKeyboard(kScanner, "Scanner");
    ASSERT_TRUE(open()) << utf8(lastError());
    typeKeys(kScanner, "6 enter");
    ASSERT_TRUE(connection.waitForEvents(2));
    ASSERT_TRUE(close());
    EXPECT_EQ(u"12|6", barcodesFrom(0));

    // With the app's unfinished-ms, a barcode left without its Enter is dropped once no key came
    // for that long, and the last error says so; the next one arrives alone.
    PhoneCall options("setScannerOptions", "(Ljava/lang/String;Ljava/lang/String;)V", kApp);
    options.run(options.string(kScannerAddress), options.string("unfinished-ms=150"));
    ASSERT_TRUE(open());
    typeKeys(kScanner, "7 8");
    EXPECT_TRUE(
        errorSoonSays(u"scanner 'Scanner' (hid:d4f3a2b1c0e9): a barcode typed without its end key was "
                      u"dropped after 150 ms with no key (2 characters)"))
        << utf8(lastError());
    typeKeys(kScanner, "9 enter");
    ASSERT_TRUE(connection.waitForEvents(3));
    ASSERT_TRUE(close());
    EXPECT_EQ(u"12|6|9", barcodesFrom(0));

    // The activity recreated (a configuration change it does not handle): the capture is lost.
    ASSERT_TRUE(open());
    inputDoes("destroyActivity");
    EXPECT_TRUE(errorSoonSays(u"the activity whose window captured the keys was closed or recreated"))
        << utf8(lastError());
    EXPECT_FALSE(open());
    EXPECT_NE(std::u16string::npos,
              lastError().find(u"android:configChanges=\"keyboard|keyboardHidden|navigation\""))
        << utf8(lastError());
}

TEST_F(Phone, AThousandCharactersTypedAtTheFastestRateArriveWhole) {
    connectKeyboard(kScanner, "Scanner");
    startDriver();
    choose(kScannerAddress);
    ASSERT_TRUE(open());
    std::string keys;
    std::u16string expected;
    for (int i = 0; i < 1000; ++i) {
        char letter = static_cast<char>('a' + i % 26);
        switch (i % 3) {
            case 0:
                keys += std::string(1, letter) + " ";
                expected += letter;
                break;
            case 1:
                keys += "shift+" + std::string(1, letter) + " ";
                expected += static_cast<char16_t>(letter - 32);
                break;
            default:
                keys += std::to_string(i % 10) + " ";
                expected += static_cast<char16_t>('0' + i % 10);
        }
    }
    typeKeys(kScanner, keys + "enter");
    ASSERT_TRUE(connection.waitForEvents(1));
    ASSERT_TRUE(close());
    EXPECT_EQ(expected, eventData(0));
    EXPECT_EQ(1u, connection.eventCount());
}

// A scanner that sleeps: its link drops, its connects are refused for several attempts, then it
// wakes. The peer connects again by itself, with waits that grow to the cap, and the barcodes after
// the wake arrive with no host action. Meanwhile Open and DeviceTest answer honestly: the reader
// makes one attempt now, and no second link is started.
TEST_F(Phone, ASleepingScannerIsConnectedAgainByItselfAndOpenAndTestAnswerHonestly) {
    bond(kFirst, "Sleeper");
    chooseOptions(kFirst, "retry-ms=50 retry-cap-ms=200");
    startDriver();
    choose(kFirst);
    ASSERT_TRUE(open());
    EXPECT_TRUE(arrivesOnce("BEFORE-SLEEP"));

    scannerAnswers(kFirst, "OUT_OF_RANGE");
    dropLink(kFirst);
    const std::u16string label = u"scanner 'Sleeper' (00:11:22:33:44:01)";
    EXPECT_TRUE(errorSoonSays(u"reconnecting to " + label + u": attempt 1 failed (")) << utf8(lastError());
    EXPECT_TRUE(
        errorSoonSays(u"), next in 0.2 s; " + label + u" was disconnected: the Bluetooth link was lost"))
        << "the waits grow to the cap: " << utf8(lastError());
    EXPECT_FALSE(test());
    EXPECT_NE(std::u16string::npos, lastError().find(u"test of " + label + u" failed: reconnecting to "))
        << utf8(lastError());
    EXPECT_FALSE(open());
    EXPECT_NE(std::u16string::npos, lastError().find(u"reconnecting to " + label)) << utf8(lastError());
    EXPECT_FALSE(linked(kFirst));

    // The scanner wakes: the next attempt connects, and it is the only link.
    scannerAnswers(kFirst, "AT_ONCE");
    ASSERT_TRUE(soonTrue([] { return linked(kFirst); }));
    EXPECT_TRUE(errorSoonSays(u"; connected again (attempt ")) << utf8(lastError());
    EXPECT_FALSE(phoneListens()) << "the phone listens only while the link is down";
    EXPECT_TRUE(arrivesOnce("AFTER-WAKE"));
    EXPECT_TRUE(test());
    EXPECT_TRUE(open());
    EXPECT_EQ(u"no error has occurred", lastError());
    ASSERT_TRUE(close());
    EXPECT_FALSE(linked(kFirst));
    EXPECT_EQ(2u, connection.eventCount());
}

// Close ends a reconnection at once, in the middle of a long wait, and nothing connects after it.
TEST_F(Phone, CloseDuringTheWaitBetweenAttemptsReturnsAtOnce) {
    bond(kFirst, "Sleeper");
    chooseOptions(kFirst, "retry-ms=20000");
    startDriver();
    choose(kFirst);
    ASSERT_TRUE(open());
    scannerAnswers(kFirst, "OUT_OF_RANGE");
    dropLink(kFirst);
    ASSERT_TRUE(errorSoonSays(u"attempt 1 failed")) << utf8(lastError());
    EXPECT_NE(std::u16string::npos, lastError().find(u"next in 20 s")) << utf8(lastError());
    const int connects = phoneCount("connectCount");
    auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(close());
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5))
        << "Close waited for the wait";
    scannerAnswers(kFirst, "AT_ONCE");
    usleep(200 * 1000);
    EXPECT_EQ(connects, phoneCount("connectCount")) << "an attempt was made after Close";
    EXPECT_FALSE(linked(kFirst));
    EXPECT_FALSE(phoneListens());
}

// Bluetooth switched off and on again while the scanner is away: the wait for it is part of the
// reconnection, and the scanner is back with no host action.
TEST_F(Phone, BluetoothSwitchedOffAndOnDuringReconnectionIsWaitedFor) {
    bond(kFirst, "Scanner");
    chooseOptions("*", "retry-ms=50 retry-cap-ms=100");
    startDriver();
    choose(kFirst);
    ASSERT_TRUE(open());
    setAdapter(true, false);
    dropLink(kFirst);
    EXPECT_TRUE(errorSoonSays(u"Bluetooth is switched off")) << utf8(lastError());
    EXPECT_TRUE(errorSoonSays(u"attempt 2 failed")) << utf8(lastError());
    setAdapter(true, true);
    ASSERT_TRUE(soonTrue([] { return linked(kFirst); }));
    EXPECT_TRUE(arrivesOnce("BLUETOOTH-BACK"));
    ASSERT_TRUE(close());
}

// Some scanners connect to the phone themselves when they wake: while the link is down, the phone
// listens and takes that scanner's connection, and refuses any other device's.
TEST_F(Phone, WhileTheLinkIsDownTheScannerMayConnectToThePhoneAndNoOtherDeviceMay) {
    bond(kFirst, "Self-connecting");
    bond(kSecond, "Stranger");
    chooseOptions(kFirst, "retry-ms=30000");
    startDriver();
    choose(kFirst);
    EXPECT_FALSE(phoneListens()) << "the phone listens only while the link is down";
    ASSERT_TRUE(open());
    EXPECT_FALSE(phoneListens());
    scannerAnswers(kFirst, "OUT_OF_RANGE");
    dropLink(kFirst);
    ASSERT_TRUE(soonTrue(phoneListens));

    ASSERT_TRUE(scannerConnectsToPhone(kSecond));
    EXPECT_TRUE(soonTrue([] { return !linked(kSecond); })) << "another device's connection was kept";
    ASSERT_TRUE(scannerConnectsToPhone(kFirst));
    EXPECT_TRUE(errorSoonSays(u"connected again (the scanner connected to the phone)")) << utf8(lastError());
    EXPECT_TRUE(arrivesOnce("SELF-CONNECTED"));
    EXPECT_FALSE(phoneListens());
    ASSERT_TRUE(close());
    EXPECT_FALSE(linked(kFirst));
    EXPECT_EQ(1u, connection.eventCount());
}

// A batch replayed from the scanner's memory: 1,000 barcodes in one write arrive once each, in order.
TEST_F(Phone, ABurstOfAThousandBarcodesInOneWriteArrivesOnceEachInOrder) {
    bond(kFirst, "Batch");
    startDriver();
    choose(kFirst);
    ASSERT_TRUE(open());
    std::string burst;
    for (int i = 0; i < 1000; ++i) {
        burst += "BATCH-" + std::to_string(i) + (i % 3 == 0 ? "\r\n" : i % 3 == 1 ? "\n" : "\r");
    }
    ASSERT_TRUE(scannerSends(kFirst, burst));
    ASSERT_TRUE(connection.waitForEvents(1000)) << connection.eventCount();
    usleep(50 * 1000);
    ASSERT_EQ(1000u, connection.eventCount());
    for (size_t i = 0; i < 1000; ++i) {
        ASSERT_EQ(u16("BATCH-" + std::to_string(i)), eventData(i)) << i;
    }
    ASSERT_TRUE(close());
}

TEST_F(Phone, EachSerialServiceOfAnLeScannerIsFoundAndReadAtEachApiLevel) {
    struct Case {
        const char* profile;
        int sdk;
        const char* chosenAs;  // how the host stores the address
    };
    // API 22 connects without choosing the transport (no such call yet) and asks for nothing at
    // run time; API 33 passes the values with the writes and the notifications.
    const Case cases[] = {
        {"NORDIC", 31, "ble:AA:BB:CC:DD:EE:01"},    {"NORDIC_SWAPPED", 33, "ble:AA:BB:CC:DD:EE:01"},
        {"MICROCHIP", 31, "BLE:aa:bb:cc:dd:ee:01"}, {"FFE0", 33, "ble:AA:BB:CC:DD:EE:01"},
        {"FFE0", 22, "ble:AA:BB:CC:DD:EE:01"},      {"TIO", 31, "ble:AA:BB:CC:DD:EE:01"},
        {"TIO", 33, "ble:AA:BB:CC:DD:EE:01"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.profile) + " at API " + std::to_string(c.sdk));
        phoneDoes("reset");
        const size_t before = connection.eventCount();
        setSdk(c.sdk);
        leScanner(kRing, std::string("Ring ") + c.profile, c.profile, true, false);
        startDriver();
        EXPECT_EQ(u"<Item Value=\"ble:AA:BB:CC:DD:EE:01\">Ring " + u16(c.profile) + u" (Bluetooth LE)</Item>",
                  choiceList());
        choose(c.chosenAs);
        ASSERT_TRUE(test()) << utf8(lastError());
        EXPECT_EQ(0, leStat(kRing, "linked")) << "test connects and lets go";
        ASSERT_TRUE(open()) << utf8(lastError());
        EXPECT_EQ(c.sdk >= 23 ? 2 : 0, leStat(kRing, "transport"))
            << "Low Energy chosen where the call exists";
        EXPECT_EQ(247, leStat(kRing, "mtu"));
        ASSERT_TRUE(leSends(kRing, "4006381333931\r\nСчёт №7\n"));
        ASSERT_TRUE(connection.waitForEvents(before + 2)) << utf8(lastError());
        EXPECT_EQ(u"4006381333931\nСчёт №7\n", allEvents(before));
        ASSERT_TRUE(close());
        EXPECT_EQ(0, leStat(kRing, "linked")) << "close disconnects the GATT client";
        EXPECT_EQ(2, leStat(kRing, "clientsClosed")) << "one GATT client for the test, one for the open";
        EXPECT_FALSE(leSends(kRing, "AFTER-CLOSE\n"));
        EXPECT_EQ(before + 2, connection.eventCount());
        component.reset();
    }
}

TEST_F(Phone, LeNotificationsOfAnySizeAndBoundaryMakeTheSameBarcodes) {
    leScanner(kRing, "Small MTU", "NORDIC", true, false, 23);
    leScanner(kGun, "Large MTU", "FFE0", true, false, 185);
    chooseOptions(ble(kGun), "codepage=windows-1251");  // the app's options, by the ble: address
    startDriver();

    // Scans the scanner kept come the moment its notifications are on. Without a larger MTU a
    // notification carries 20 bytes: 62 bytes come in four.
    leStores(kRing, "KEPT-1\n");
    choose(ble(kRing));
    ASSERT_TRUE(open()) << utf8(lastError());
    EXPECT_EQ(23, leStat(kRing, "mtu"));
    const std::string sixty(60, '7');
    ASSERT_TRUE(leSends(kRing, sixty + "\r\n"));
    EXPECT_EQ(1 + 4, leStat(kRing, "notifications"));
    // One notification ends a barcode and starts the next; a CR LF split between two is one end.
    ASSERT_TRUE(leSends(kRing, "AAAA-11", 7));
    ASSERT_TRUE(leSends(kRing, "11\r\nBBBB-", 10));
    ASSERT_TRUE(leSends(kRing, "2222\r", 5));
    ASSERT_TRUE(leSends(kRing, "\nCCCC\n", 6));
    ASSERT_TRUE(connection.waitForEvents(5)) << utf8(lastError());

    // After the MTU grew to 185, a barcode of 178 characters and its CR LF come in one.
    choose(ble(kGun));
    ASSERT_TRUE(open()) << utf8(lastError());
    EXPECT_EQ(185, leStat(kGun, "mtu"));
    const std::string long178(178, 'Q');
    ASSERT_TRUE(leSends(kGun, long178 + "\r\n", 180));
    EXPECT_EQ(1, leStat(kGun, "notifications"));
    ASSERT_TRUE(leSends(kGun, "\xcd\xe0\xea\xeb\xe0\xe4\xed\xe0\xff 1251\n"));
    ASSERT_TRUE(connection.waitForEvents(7)) << utf8(lastError());
    EXPECT_EQ(
        u"KEPT-1\n" + u16(sixty) + u"\nAAAA-1111\nBBBB-2222\nCCCC\n" + u16(long178) + u"\nНакладная 1251\n",
        allEvents());
    ASSERT_TRUE(close());
}

TEST_F(Phone, ATioScannerGetsNewCreditsAsItsBytesAreReadAndSendsAllItHeldBack) {
    leScanner(kRing, "TIO scanner", "TIO", true, false, 23);
    startDriver();
    choose(ble(kRing));
    ASSERT_TRUE(open()) << utf8(lastError());
    EXPECT_EQ(64, leStat(kRing, "creditsGranted")) << "the credits granted at connect";
    // The scanner refuses the first top-up: it is granted again, and the last error says so.
    PhoneCall refuse("leRefuseGrants", "(Ljava/lang/String;I)V");
    refuse.run(refuse.string(kRing), jint(1));
    // 200 barcodes of 15 bytes: 150 notifications of 20 bytes, more than one grant pays for.
    std::string burst;
    for (int i = 0; i < 200; ++i) {
        char line[32];
        snprintf(line, sizeof line, "TIO-CODE-%04d\r\n", i);
        burst += line;
    }
    ASSERT_TRUE(leSends(kRing, burst));
    ASSERT_TRUE(connection.waitForEvents(200))
        << connection.eventCount() << " barcodes; the scanner holds back " << leStat(kRing, "heldBack")
        << " notifications";
    EXPECT_EQ(u"TIO-CODE-0000", eventData(0));
    EXPECT_EQ(u"TIO-CODE-0199", eventData(199));
    EXPECT_EQ(0, leStat(kRing, "heldBack"));
    EXPECT_EQ(150, leStat(kRing, "notifications"));
    EXPECT_LE(3, leStat(kRing, "creditWrites"));
    // How many credits that top-up held depends on how far the reader had read.
    const std::u16string refused = lastError();
    EXPECT_EQ(0u,
              refused.find(u"scanner 'TIO scanner' (ble:AA:BB:CC:DD:EE:01): the scanner refused a grant of "))
        << utf8(refused);
    EXPECT_NE(std::u16string::npos, refused.find(u" TIO credits (status 3); it is granted again"))
        << utf8(refused);
    EXPECT_GE(64 + 150, leStat(kRing, "creditsGranted")) << "never more credits out than 64";
    ASSERT_TRUE(close());
}

TEST_F(Phone, AnLeDeviceWithoutAUsableSerialServiceIsRefusedSayingWhichStepFailed) {
    struct Case {
        const char* profile;
        const char* answer;
        const char* error;  // after "cannot open scanner 'Device' (ble:AA:BB:CC:DD:EE:01): "
    };
    const Case cases[] = {
        {"BATTERY", "AT_ONCE",
         "it offers none of the serial services a Bluetooth LE scanner uses (Nordic UART, transparent UART, "
         "FFE0, TIO), only 00001800-0000-1000-8000-00805F9B34FB, 0000180F-0000-1000-8000-00805F9B34FB: "
         "switch the scanner to its Bluetooth LE serial mode, or choose another device"},
        {"HID", "AT_ONCE",
         "it is a keyboard over Bluetooth LE (it offers the HID service only), which an app cannot read over "
         "GATT: use it as a keyboard-mode scanner"},
        {"NORDIC", "REFUSES_NOTIFICATIONS", "switching notifications on failed (status 3)"},
        {"NORDIC", "OUT_OF_RANGE",
         "the link dropped while connecting: the connection failed (status 133): the scanner is switched "
         "off, "
         "out of range or connected to another phone"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.profile) + " " + c.answer);
        phoneDoes("reset");
        leScanner(kRing, "Device", c.profile, true, false);
        leAnswers(kRing, c.answer);
        startDriver();
        choose(ble(kRing));
        EXPECT_FALSE(open());
        EXPECT_EQ(u"cannot open scanner 'Device' (ble:AA:BB:CC:DD:EE:01): " + u16(c.error), lastError())
            << utf8(lastError());
        EXPECT_EQ(0, leStat(kRing, "linked")) << "the GATT client of a failed open is closed";
        EXPECT_EQ(1, leStat(kRing, "clientsClosed"));
        component.reset();
    }
}

TEST_F(Phone, LeScannersAreListedFromBondedOpenedAndFoundDevicesButNotOtherDevices) {
    bond(kFirst, "Serial scanner");
    leScanner(kRing, "Ring (bonded)", "NORDIC", true, false);
    leScanner(kGun, "Gun (advertising)", "FFE0", false, true);
    leScanner("AA:BB:CC:DD:EE:03", "Watch", "BATTERY", false, true);
    leScanner("AA:BB:CC:DD:EE:04", "Band (bonded)", "BATTERY", true, false);
    startDriver();
    ASSERT_TRUE(soonTrue([] { return phoneCount("scanResultCount") >= 1; })) << "show starts a search";
    EXPECT_EQ(
        u"<Item Value=\"00:11:22:33:44:01\">Serial scanner</Item>"
        u"<Item Value=\"ble:AA:BB:CC:DD:EE:01\">Ring (bonded) (Bluetooth LE)</Item>"
        u"<Item Value=\"ble:AA:BB:CC:DD:EE:02\">Gun (advertising) (Bluetooth LE)</Item>",
        choiceList());
    EXPECT_NE(std::u16string::npos,
              lastError().find(u"still searching for Bluetooth LE scanners: open the settings "
                               u"again in a few seconds to list those found"))
        << utf8(lastError());

    // A scanner opened once is listed by the next peer too, without a search.
    choose(ble(kGun));
    ASSERT_TRUE(open()) << utf8(lastError());
    ASSERT_TRUE(close());
    component.reset();
    setLocation(false);
    setSdk(30);
    startDriver();
    EXPECT_EQ(1, phoneCount("scansStarted")) << "no search without the location permission below API 31";
    EXPECT_EQ(
        u"<Item Value=\"00:11:22:33:44:01\">Serial scanner</Item>"
        u"<Item Value=\"ble:AA:BB:CC:DD:EE:01\">Ring (bonded) (Bluetooth LE)</Item>"
        u"<Item Value=\"ble:AA:BB:CC:DD:EE:02\">Gun (advertising) (Bluetooth LE)</Item>",
        choiceList());
    EXPECT_EQ(
        u"Bluetooth LE scanners that are not paired are not searched for: the app may not search (the "
        u"permission \"Location\" was refused)",
        lastError());
    EXPECT_EQ("android.permission.ACCESS_FINE_LOCATION #19283", permissionRequests());
}

TEST_F(Phone, AnLePermissionRefusedIsAskedForWithTheSerialOneAndUsedOnceGranted) {
    leScanner(kRing, "Ring", "NORDIC", true, true);
    setPermission(false, false);
    startDriver();
    EXPECT_EQ("android.permission.BLUETOOTH_CONNECT,android.permission.BLUETOOTH_SCAN #19283",
              permissionRequests())
        << "one request for both kinds";
    EXPECT_EQ(u"", choiceList());
    const std::u16string refused =
        u"the app may not use Bluetooth devices: the permission \"Nearby devices\" was "
        u"refused; allow it in the app's settings, then try again";
    EXPECT_EQ(refused, lastError().substr(0, refused.size())) << utf8(lastError());
    choose(ble(kRing));
    EXPECT_FALSE(test());
    EXPECT_EQ(refused, lastError());
    EXPECT_FALSE(open());
    EXPECT_EQ(refused, lastError());
    EXPECT_EQ(0, leStat(kRing, "connects"));
    EXPECT_FALSE(phoneSays("scanning"));

    setPermission(true, false);
    EXPECT_NE(std::u16string::npos, choiceList().find(u"ble:AA:BB:CC:DD:EE:01"));
    EXPECT_TRUE(phoneSays("scanning")) << "the list starts the search once it may";
    ASSERT_TRUE(open()) << utf8(lastError());
    ASSERT_TRUE(leSends(kRing, "GRANTED\n"));
    ASSERT_TRUE(connection.waitForEvents(1));
    ASSERT_TRUE(close());
}

TEST_F(Phone, CloseDuringAnLeConnectEndsItAtOnceAndNothingFollows) {
    struct Case {
        const char* answer;
        const char* step;
    };
    const Case cases[] = {{"NEVER", "connecting"}, {"NO_SERVICES_ANSWER", "discovering services"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        phoneDoes("reset");
        leScanner(kRing, "Ring", "NORDIC", true, false);
        leAnswers(kRing, c.answer);
        startDriver();
        choose(ble(kRing));
        std::atomic<bool> opened{true};
        std::thread host([&] { opened = open(); });
        EXPECT_TRUE(soonTrue([] { return leStat(kRing, "connects") == 1; }));
        usleep(50 * 1000);
        auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(close());
        host.join();
        EXPECT_GT(std::chrono::seconds(3), std::chrono::steady_clock::now() - start)
            << "close waited for the connect's deadline";
        EXPECT_FALSE(opened.load());
        EXPECT_EQ(u"cannot open scanner 'Ring' (ble:AA:BB:CC:DD:EE:01): closed while " + u16(c.step),
                  lastError());
        EXPECT_EQ(1, leStat(kRing, "clientsClosed"));
        EXPECT_EQ(0, leStat(kRing, "linked"));
        EXPECT_FALSE(leSends(kRing, "LATE\n"));
        EXPECT_EQ(0u, connection.eventCount());
        component.reset();
    }
}

// An LE link lost mid-barcode (the supervision timeout) starts the same reconnection as a serial
// scanner's: the fragment is dropped, attempts follow while the scanner is away, and once it is
// back the reader connects again by itself and its barcodes arrive with no host action, once.
TEST_F(Phone, AnLeLinkLostMidBarcodeDropsTheFragmentAndIsConnectedAgainByItself) {
    leScanner(kRing, "Ring", "NORDIC", true, false);
    chooseOptions(ble(kRing), "retry-ms=50 retry-cap-ms=200");
    startDriver();
    choose(ble(kRing));
    ASSERT_TRUE(open());
    ASSERT_TRUE(leSends(kRing, "WHOLE\nPART"));
    ASSERT_TRUE(connection.waitForEvents(1));
    leAnswers(kRing, "OUT_OF_RANGE");
    leDrop(kRing, 8);
    const std::u16string lost =
        u"scanner 'Ring' (ble:AA:BB:CC:DD:EE:01) was disconnected: the Bluetooth LE link was lost: the "
        u"scanner stopped answering (supervision timeout): it went out of range or was switched off; the 4 "
        u"bytes received after the last line end were no whole barcode and were dropped";
    EXPECT_TRUE(
        errorSoonSays(u"attempt 2 failed (the link dropped while connecting: the connection failed "
                      u"(status 133)"))
        << utf8(lastError());
    EXPECT_NE(std::u16string::npos, lastError().find(lost)) << utf8(lastError());
    EXPECT_FALSE(leSends(kRing, "WHILE-AWAY\n"));

    leAnswers(kRing, "AT_ONCE");
    ASSERT_TRUE(soonTrue([] { return leSends(kRing, "BACK\n"); })) << utf8(lastError());
    ASSERT_TRUE(connection.waitForEvents(2));
    EXPECT_TRUE(errorSoonSays(lost + u"; connected again (attempt ")) << utf8(lastError());
    EXPECT_TRUE(open()) << "the device being read opens at once";
    EXPECT_EQ(1, leStat(kRing, "linked"));
    ASSERT_TRUE(close());
    EXPECT_EQ(0, leStat(kRing, "linked"));
    EXPECT_EQ(u"WHOLE\nBACK\n", allEvents());
}

// Close while the reader's attempt waits for a scanner that does not answer: the attempt's GATT
// client is closed at once, and no attempt follows.
TEST_F(Phone, CloseDuringAnLeReconnectionClosesItsGattClientAtOnce) {
    leScanner(kRing, "Ring", "NORDIC", true, false);
    chooseOptions(ble(kRing), "retry-ms=50");
    startDriver();
    choose(ble(kRing));
    ASSERT_TRUE(open());
    leAnswers(kRing, "NEVER");
    leDrop(kRing, 8);
    ASSERT_TRUE(soonTrue([] { return leStat(kRing, "connects") == 2; })) << utf8(lastError());
    const int closedBefore = leStat(kRing, "clientsClosed");
    auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(close());
    EXPECT_GT(std::chrono::seconds(3), std::chrono::steady_clock::now() - started);
    EXPECT_EQ(closedBefore + 1, leStat(kRing, "clientsClosed")) << "the attempt's GATT client was left open";
    leAnswers(kRing, "AT_ONCE");
    usleep(200 * 1000);
    EXPECT_EQ(2, leStat(kRing, "connects")) << "an attempt was made after Close";
    EXPECT_EQ(0, leStat(kRing, "linked"));
    EXPECT_EQ(0u, connection.eventCount());
}

TEST_F(Phone, AThousandLeBarcodesArriveExactlyOnceAndInOrder) {
    leScanner(kRing, "Ring", "NORDIC", true, false, 23);
    startDriver();
    choose(ble(kRing));
    ASSERT_TRUE(open());
    std::string burst;
    std::u16string expected;
    for (int i = 0; i < 1000; ++i) {
        char line[32];
        snprintf(line, sizeof line, "LE-%04d\r\n", i);
        burst += line;
        expected += u16(std::string(line, 7)) + u"\n";
    }
    // Notifications of 7 bytes cut every barcode and most line ends somewhere else.
    ASSERT_TRUE(leSends(kRing, burst, 7));
    ASSERT_TRUE(connection.waitForEvents(1000, std::chrono::seconds(60))) << connection.eventCount();
    ASSERT_TRUE(close());
    EXPECT_EQ(expected, allEvents());
}
