// Inputs from outside that the other tests do not reach, met the way the host meets the
// library: through the exports and the component's interface tables, with a real VM. An app
// whose scanner class breaks the contract, a barcode far larger than any scanner reads, host
// calls from a native thread the VM has never seen, and calls after Done.

#include "component/component_base.h"
#include "module/exports.h"
#include "tests/support/host_connection.h"
#include "tests/support/host_memory.h"
#include "tests/support/log_capture.h"
#include "tests/support/peer_script.h"
#include "tests/support/thread_env.h"
#include "tests/support/vm.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

namespace {

using testsupport::HostConnection;

// A host whose Android helper answers every class lookup with another class of the app, and
// gives no activity.
class WrongClassHost : public HostConnection {
public:
    explicit WrongClassHost(const char* slashedName) : HostConnection(helperFinding(slashedName)) {}

private:
    static hosting::AndroidHelper::Options helperFinding(const char* slashedName) {
        hosting::AndroidHelper::Options options;
        options.onlyClass = slashedName;
        options.activityTitle = nullptr;
        return options;
    }
};

// One component as the host holds it.
class Component {
public:
    Component() {
        EXPECT_NE(0, GetClassObject(u"MobileBarcodeScanner", &m_object));
        m_object->setMemManager(&m_memory);
    }
    ~Component() {
        if (m_object != nullptr) {
            DestroyObject(&m_object);
        }
    }
    IInitDoneBase* initDone() { return m_object; }

    // Calls the method by its English name with empty records; the call's own outcome.
    bool call(const char16_t* name, tVariant& result, std::vector<tVariant>& parameters) {
        ILanguageExtenderBase* extender = m_object;
        int32_t method = extender->FindMethod(name);
        EXPECT_GE(method, 0) << "no method";
        parameters.assign(static_cast<size_t>(extender->GetNParams(method)), tVariant{});
        result = tVariant{};
        return extender->CallAsFunc(method, &result, parameters.data(),
                                    static_cast<int32_t>(parameters.size()));
    }
    bool answer(const char16_t* name) {
        tVariant result;
        std::vector<tVariant> parameters;
        EXPECT_TRUE(call(name, result, parameters));
        EXPECT_EQ(VariantBool, result.typeCode);
        return result.boolValue == 1;
    }
    std::u16string text(const char16_t* name, size_t position) {
        tVariant result;
        std::vector<tVariant> parameters;
        EXPECT_TRUE(call(name, result, parameters));
        const tVariant& out = parameters.at(position);
        EXPECT_EQ(VariantShortString, out.typeCode);
        return testsupport::shortText(out.string.text);
    }

private:
    testsupport::HostMemory m_memory;
    IComponentBase* m_object = nullptr;
};

int constructedIncompletePeers(JNIEnv* env) {
    jclass peer = testsupport::findClass(env, "com/kestra/stress/IncompletePeer");
    jint count = env->CallStaticIntMethod(peer, env->GetStaticMethodID(peer, "constructedCount", "()I"));
    testsupport::expectNoPendingException(env);
    env->DeleteLocalRef(peer);
    return count;
}

}  // namespace

TEST(BadJavaClass, MissingOrMistypedMethodsMakeDeviceCallsFailAndNothingThrows) {
    JNIEnv* env = testsupport::mainEnv();
    int before = constructedIncompletePeers(env);
    WrongClassHost host("com/kestra/stress/IncompletePeer");
    Component component;
    testsupport::LogWindow log;
    ASSERT_TRUE(component.initDone()->Init(&host));
    testsupport::expectNoPendingException(env);
    EXPECT_EQ(before + 1, constructedIncompletePeers(env)) << "the constructor itself is right";

    EXPECT_FALSE(component.answer(u"Open"));
    EXPECT_FALSE(component.answer(u"Close"));
    EXPECT_FALSE(component.answer(u"DeviceTest"));
    EXPECT_NE(u"", component.text(u"GetLastError", 0)) << "a missing GetLastError still gives a description";
    std::u16string settings = component.text(u"GetParameters", 0);
    EXPECT_NE(std::u16string::npos, settings.find(u"<ChoiceList></ChoiceList>"))
        << "a mistyped GetDevicesList is not called";
    testsupport::expectNoPendingException(env);
    std::vector<std::string> lines = log.messages();
    EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), "Got locobj"));
}

TEST(BadJavaClass, AClassWithoutTheContractConstructorLeavesAComponentWithoutPeer) {
    JNIEnv* env = testsupport::mainEnv();
    WrongClassHost host("com/kestra/stress/NoConstructorPeer");
    Component component;
    ASSERT_TRUE(component.initDone()->Init(&host));
    testsupport::expectNoPendingException(env);
    EXPECT_FALSE(component.answer(u"Open"));
    EXPECT_FALSE(component.answer(u"DeviceTest"));
    testsupport::expectNoPendingException(env);
}

TEST(HugeBarcode, AMillionUnitsArriveWholeWhileTheLogLineIsCutByTheLog) {
    testsupport::peer::reset();
    HostConnection host;
    Component component;
    ASSERT_TRUE(component.initDone()->Init(&host));
    std::u16string barcode;
    for (size_t i = 0; barcode.size() < 1000000; ++i) {
        barcode += static_cast<char16_t>(u'0' + i % 10);
    }
    testsupport::LogWindow log;
    testsupport::peer::send(0, barcode);
    std::vector<testsupport::RecordedEvent> events = host.events();
    ASSERT_EQ(1u, events.size());
    EXPECT_TRUE(events[0].data == barcode) << "the event carries " << events[0].data.size() << " units";
    // The Android log keeps 1023 bytes of a line: the barcode's line is its beginning.
    std::string asText(barcode.begin(), barcode.end());
    bool found = false;
    for (const std::string& line : log.messages()) {
        if (line.size() > 100 && asText.compare(0, line.size(), line) == 0) {
            found = true;
            EXPECT_LE(line.size(), 1023u);
        }
    }
    EXPECT_TRUE(found) << "no line holds the beginning of the barcode";
}

TEST(ForeignThreads, HostCallsFromANativeThreadTheVmNeverSawWorkAndLeaveNoThreadBehind) {
    testsupport::peer::reset();
    JNIEnv* env = testsupport::mainEnv();
    HostConnection host;
    Component component;
    ASSERT_TRUE(component.initDone()->Init(&host));
    int threadsBefore = testsupport::vmThreadCount(env);
    bool opened = false;
    std::u16string error;
    std::thread foreign([&] {
        opened = component.answer(u"Open");
        error = component.text(u"GetLastError", 0);
    });
    foreign.join();
    EXPECT_TRUE(opened);
    EXPECT_EQ(1, testsupport::peer::callCount("OpenDevice"));
    EXPECT_EQ(1, testsupport::peer::callCount("GetLastError"));
    EXPECT_EQ(threadsBefore, testsupport::vmThreadCount(env)) << "the foreign thread stayed attached";
}

TEST(AfterDone, TheComponentKeepsWorkingUntilItIsDestroyed) {
    testsupport::peer::reset();
    HostConnection host;
    Component component;
    ASSERT_TRUE(component.initDone()->Init(&host));
    component.initDone()->Done();
    EXPECT_TRUE(component.answer(u"Open"));
    testsupport::peer::send(0, u"after Done");
    ASSERT_EQ(1u, host.events().size());
    EXPECT_TRUE(host.events()[0].data == u"after Done");
}

TEST(NullFromJava, ANullBarcodeOrTraceTextIsIgnoredWithoutALine) {
    testsupport::peer::reset();
    JNIEnv* env = testsupport::mainEnv();
    HostConnection host;
    Component component;
    ASSERT_TRUE(component.initDone()->Init(&host));
    jclass script = testsupport::findClass(env, "com/kestra/testsupport/PeerScript");
    jobject peer = env->CallStaticObjectMethod(
        script,
        env->GetStaticMethodID(script, "instance",
                               "(I)Lcom/kestra/MobileBarcodeScannerPackage/MobileBarcodeScanner;"),
        0);
    testsupport::expectNoPendingException(env);
    jclass peerClass = env->GetObjectClass(peer);
    jclass traceClass =
        testsupport::findClass(env, "com/BTBarcodeScannerPackage/BTBarcodeScannerLib/BTBarcodeScannerClass");
    testsupport::LogWindow log;
    env->CallVoidMethod(peer, env->GetMethodID(peerClass, "SendBarcode", "(JLjava/lang/String;)V"),
                        static_cast<jlong>(testsupport::peer::recorderOf(0)), nullptr);
    testsupport::expectNoPendingException(env);
    env->CallStaticVoidMethod(
        traceClass, env->GetStaticMethodID(traceClass, "NativeTrace", "(Ljava/lang/String;)V"), nullptr);
    testsupport::expectNoPendingException(env);
    EXPECT_EQ(0u, host.eventCount());
    EXPECT_EQ(std::vector<std::string>{}, log.messages());
    for (jobject ref : {static_cast<jobject>(script), peer, static_cast<jobject>(peerClass),
                        static_cast<jobject>(traceClass)}) {
        env->DeleteLocalRef(ref);
    }
}
