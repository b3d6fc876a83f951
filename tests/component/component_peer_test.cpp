// The component with a Java peer: Init through a host connection, the driver methods reaching
// the peer (succeeding, failing, throwing), barcodes becoming external events, and destruction.
#include "tests/component/hosted_component.h"
#include "tests/support/host_connection.h"
#include "tests/support/host_memory.h"
#include "tests/support/log_capture.h"
#include "tests/support/peer_script.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace peer = testsupport::peer;
using componenttest::Call;
using componenttest::callByName;
using componenttest::HostedComponent;
using componenttest::isBoolean;
using componenttest::patternRecord;
using componenttest::sameBytes;
using componenttest::stringRecord;
using componenttest::text;
using testsupport::HostConnection;
using testsupport::HostMemory;
using testsupport::LogWindow;
using testsupport::withoutEnvLines;
using Lines = std::vector<std::string>;

namespace {

// A component given host memory and a connection with a Java peer.
class ConnectedComponent : public ::testing::Test {
protected:
    void SetUp() override {
        peer::reset();
        component.initDone()->setMemManager(&memory);
        ASSERT_TRUE(component.initDone()->Init(&connection));
        ASSERT_EQ(1, peer::instanceCount());
    }
    void TearDown() override { peer::reset(); }
    ILanguageExtenderBase* extender() { return component.extender(); }

    Call setDeviceAddress(const std::u16string& address) {
        const std::u16string name = u"BluetoothDevice";
        return callByName(extender(), u"SetParameter", {stringRecord(name), stringRecord(address)});
    }

    HostMemory memory;
    HostConnection connection;
    HostedComponent component;
};

}  // namespace

TEST(ComponentInit, CreatesAndShowsThePeerThenSetsTheEventDepth) {
    peer::reset();
    HostConnection connection;
    HostedComponent component;
    LogWindow log;
    EXPECT_TRUE(component.initDone()->Init(&connection));
    EXPECT_EQ((std::vector<int32_t>{10, 4096}), connection.eventBufferDepths());
    EXPECT_EQ(1, peer::instanceCount());
    EXPECT_EQ(1, peer::showCount(0));
    EXPECT_EQ((Lines{"Init", "Got class", "Got activity", "Got init", "Got locobj", "Show"}),
              withoutEnvLines(log.messages()));
    component.destroy();
    peer::reset();
}

TEST(ComponentInit, ReportsTheHostsAnswerToTheFinalDepth) {
    // A host that refuses the larger event buffer; the peer is made all the same.
    class RefusingHost : public HostConnection {
    public:
        bool SetEventBufferDepth(int32_t depth) override {
            HostConnection::SetEventBufferDepth(depth);
            return depth != 4096;
        }
    };
    peer::reset();
    RefusingHost connection;
    HostedComponent component;
    EXPECT_FALSE(component.initDone()->Init(&connection));
    EXPECT_EQ((std::vector<int32_t>{10, 4096}), connection.eventBufferDepths());
    EXPECT_EQ(1, peer::instanceCount());
    component.destroy();
    peer::reset();
}

TEST(ComponentInit, WithoutAnAndroidHelperInitStillSucceedsWithoutPeer) {
    peer::reset();
    HostConnection connection(HostConnection::Helper::None);
    HostMemory memory;
    HostedComponent component;
    component.initDone()->setMemManager(&memory);
    EXPECT_TRUE(component.initDone()->Init(&connection));
    EXPECT_EQ((std::vector<int32_t>{10, 4096}), connection.eventBufferDepths());
    EXPECT_EQ(0, peer::instanceCount());
    Call open = callByName(component.extender(), u"Open");
    EXPECT_TRUE(open.succeeded);
    EXPECT_TRUE(isBoolean(open.result, false));
}

TEST_F(ConnectedComponent, OpenPassesTheAddressAndWritesTheDeviceIdOnSuccess) {
    EXPECT_TRUE(isBoolean(setDeviceAddress(u"00:11:22:AA:BB:CC").result, true));
    LogWindow log;
    Call open = callByName(extender(), u"Подключить");
    EXPECT_TRUE(open.succeeded);
    EXPECT_TRUE(isBoolean(open.result, true));
    EXPECT_EQ(u"MobileScannerDevice", text(open.parameters[0]));
    EXPECT_EQ(19u, open.parameters[0].string.length);
    EXPECT_TRUE(memory.owns(open.parameters[0].string.text));
    EXPECT_EQ(std::optional<std::u16string>(u"00:11:22:AA:BB:CC"), peer::argument("OpenDevice"));
    EXPECT_EQ(1u, log.count("MethOpen ok"));
}

TEST_F(ConnectedComponent, OpenBeforeAnyAddressPassesAnEmptyOne) {
    callByName(extender(), u"Open");
    EXPECT_EQ(std::optional<std::u16string>(u""), peer::argument("OpenDevice"));
}

TEST_F(ConnectedComponent, OpenThatFailsOrThrowsLeavesItsParameterAlone) {
    peer::returnBoolean("OpenDevice", false);
    Call failed = callByName(extender(), u"Open");
    EXPECT_TRUE(failed.succeeded);
    EXPECT_TRUE(isBoolean(failed.result, false));
    EXPECT_TRUE(sameBytes(patternRecord(), failed.parameters[0]));

    peer::returnBoolean("OpenDevice", true);
    peer::throwFrom("OpenDevice");
    LogWindow log;
    Call threw = callByName(extender(), u"Open");
    EXPECT_TRUE(threw.succeeded);
    EXPECT_TRUE(isBoolean(threw.result, false));
    EXPECT_TRUE(sameBytes(patternRecord(), threw.parameters[0]));
    EXPECT_EQ(1u, log.count("MethOpen fail"));
    EXPECT_EQ(2, peer::callCount("OpenDevice"));
}

TEST_F(ConnectedComponent, RefusedParameterKeepsThePreviousAddress) {
    setDeviceAddress(u"first");
    const std::u16string lower = u"bluetoothdevice";
    const std::u16string other = u"second";
    Call refused = callByName(extender(), u"SetParameter", {stringRecord(lower), stringRecord(other)});
    EXPECT_TRUE(refused.succeeded);
    EXPECT_TRUE(isBoolean(refused.result, false));
    Call numeric = callByName(extender(), u"SetParameter",
                              {stringRecord(u"BluetoothDevice"), componenttest::integerRecord(5)});
    EXPECT_TRUE(isBoolean(numeric.result, false));
    callByName(extender(), u"Open");
    callByName(extender(), u"DeviceTest");
    EXPECT_EQ(std::optional<std::u16string>(u"first"), peer::argument("OpenDevice"));
    EXPECT_EQ(std::optional<std::u16string>(u"first"), peer::argument("TestDevice"));

    setDeviceAddress(u"");
    callByName(extender(), u"Open");
    EXPECT_EQ(std::optional<std::u16string>(u""), peer::argument("OpenDevice", 1));
}

TEST_F(ConnectedComponent, EmptyTextWithoutPointerClearsTheAddress) {
    setDeviceAddress(u"first");
    const std::u16string name = u"BluetoothDevice";
    const std::u16string empty;
    tVariant noPointer = stringRecord(empty);
    noPointer.string.text = nullptr;
    Call cleared = callByName(extender(), u"SetParameter", {stringRecord(name), noPointer});
    EXPECT_TRUE(cleared.succeeded);
    EXPECT_TRUE(isBoolean(cleared.result, true));
    callByName(extender(), u"Open");
    EXPECT_EQ(std::optional<std::u16string>(u""), peer::argument("OpenDevice"));
}

TEST_F(ConnectedComponent, CloseReportsThePeersAnswer) {
    Call closed = callByName(extender(), u"Close");
    EXPECT_TRUE(closed.succeeded);
    EXPECT_TRUE(isBoolean(closed.result, true));
    peer::returnBoolean("CloseDevice", false);
    EXPECT_TRUE(isBoolean(callByName(extender(), u"Close").result, false));
    peer::returnBoolean("CloseDevice", true);
    peer::throwFrom("CloseDevice");
    Call threw = callByName(extender(), u"Close");
    EXPECT_TRUE(threw.succeeded);
    EXPECT_TRUE(isBoolean(threw.result, false));
}

TEST_F(ConnectedComponent, DeviceTestWritesTwoEmptyStringsWhateverTheOutcome) {
    setDeviceAddress(u"AA:BB");
    for (bool passes : {true, false}) {
        peer::returnBoolean("TestDevice", passes);
        Call test = callByName(extender(), u"ТестУстройства");
        EXPECT_TRUE(test.succeeded);
        EXPECT_TRUE(isBoolean(test.result, passes));
        for (const tVariant& out : test.parameters) {
            EXPECT_EQ(VariantShortString, out.typeCode);
            EXPECT_EQ(0u, out.string.length);
            EXPECT_TRUE(memory.owns(out.string.text));
            EXPECT_EQ(u"", testsupport::shortText(out.string.text));
        }
    }
    EXPECT_EQ(std::optional<std::u16string>(u"AA:BB"), peer::argument("TestDevice"));
    peer::throwFrom("TestDevice");
    Call threw = callByName(extender(), u"DeviceTest");
    EXPECT_TRUE(threw.succeeded);
    EXPECT_TRUE(isBoolean(threw.result, false));
}

TEST_F(ConnectedComponent, GetLastErrorPassesTheJavaTextOrTheFallback) {
    peer::returnString("GetLastError", u"Устройство не найдено");
    Call given = callByName(extender(), u"GetLastError");
    EXPECT_TRUE(given.succeeded);
    EXPECT_EQ(1, given.result.intValue);
    EXPECT_EQ(u"Устройство не найдено", text(given.parameters[0]));

    peer::returnString("GetLastError", std::nullopt);
    Call none = callByName(extender(), u"ПолучитьОшибку");
    EXPECT_EQ(VariantInt32, none.result.typeCode);
    EXPECT_EQ(1, none.result.intValue);
    EXPECT_EQ(u"Не удалось получить описание ошибки.", text(none.parameters[0]));

    peer::returnString("GetLastError", u"x");
    peer::throwFrom("GetLastError");
    Call threw = callByName(extender(), u"GetLastError");
    EXPECT_TRUE(threw.succeeded);
    EXPECT_EQ(1, threw.result.intValue);
    EXPECT_EQ(u"Не удалось получить описание ошибки.", text(threw.parameters[0]));
}

TEST_F(ConnectedComponent, SettingsCarryThePeersListVerbatimAskedOnEveryCall) {
    Call emptyList = callByName(extender(), u"GetParameters");
    const std::u16string list = u"<Item Value=\"AA:BB\">Сканер & \"1\"</Item><Item Value=\"CC\">2</Item>";
    peer::returnString("GetDevicesList", list);
    LogWindow log;
    Call withList = callByName(extender(), u"GetParameters");
    EXPECT_TRUE(withList.succeeded);
    EXPECT_TRUE(isBoolean(withList.result, true));
    EXPECT_EQ(277u + list.size(), withList.parameters[0].string.length);
    std::u16string document = text(withList.parameters[0]);
    std::u16string expected = text(emptyList.parameters[0]);
    expected.insert(expected.find(u"</ChoiceList>"), list);
    EXPECT_EQ(expected, document);
    EXPECT_EQ(2, peer::callCount("GetDevicesList"));
    EXPECT_EQ(1u, log.count("<Item Value=\"AA:BB\">Сканер & \"1\"</Item><Item Value=\"CC\">2</Item>"));
}

TEST_F(ConnectedComponent, ABarcodeBecomesExactlyOneExternalEvent) {
    LogWindow log;
    peer::sendFromNewThread(0, u"4600000000001");
    ASSERT_TRUE(connection.waitForEvents(1));
    std::vector<testsupport::RecordedEvent> events = connection.events();
    ASSERT_EQ(1u, events.size());
    EXPECT_EQ(u"MobileScannerDevice", events[0].source);
    EXPECT_EQ(u"Штрихкод", events[0].message);
    EXPECT_EQ(u"4600000000001", events[0].data);
    EXPECT_NE(std::this_thread::get_id(), events[0].thread);
    EXPECT_EQ(1u, log.count("OnInput"));
    EXPECT_EQ(1u, log.count("ExternalEvent message is - 4600000000001"));
}

TEST_F(ConnectedComponent, EmptyAndFormatLikeBarcodesAreDeliveredAsTheyAre) {
    LogWindow log;
    peer::send(0, u"");
    peer::send(0, u"%s%n%x");
    ASSERT_EQ(2u, connection.eventCount());
    EXPECT_EQ(u"", connection.events()[0].data);
    EXPECT_EQ(u"%s%n%x", connection.events()[1].data);
    EXPECT_EQ(1u, log.count("ExternalEvent message is - "));
    EXPECT_EQ(1u, log.count("ExternalEvent message is - %s%n%x"));
}

TEST_F(ConnectedComponent, DoneKeepsDeviceAndPeerUntilDestruction) {
    component.initDone()->Done();
    peer::send(0, u"after Done");
    ASSERT_EQ(1u, connection.eventCount());
    EXPECT_EQ(u"after Done", connection.events()[0].data);
    EXPECT_TRUE(isBoolean(callByName(extender(), u"Open").result, true));
}

TEST_F(ConnectedComponent, InitWithoutConnectionStopsDelivery) {
    EXPECT_FALSE(component.initDone()->Init(nullptr));
    peer::send(0, u"123");
    EXPECT_EQ(0u, connection.eventCount());
    EXPECT_EQ(1, peer::instanceCount());
}

TEST_F(ConnectedComponent, ASecondInitMakesASecondPeerAndBothDeliverToTheNewConnection) {
    HostConnection second;
    EXPECT_TRUE(component.initDone()->Init(&second));
    ASSERT_EQ(2, peer::instanceCount());
    peer::send(0, u"old");
    peer::send(1, u"new");
    EXPECT_EQ(0u, connection.eventCount());
    ASSERT_EQ(2u, second.eventCount());
    EXPECT_EQ(u"old", second.events()[0].data);
    EXPECT_EQ(u"new", second.events()[1].data);
    component.destroy();
}

// The host may release a connection as soon as the Init that replaced it returns: Init waits for
// the delivery that still uses it on another thread.
TEST_F(ConnectedComponent, InitReturnsOnlyOnceNoDeliveryOnAnotherThreadUsesTheConnectionItReplaces) {
    std::atomic<bool> inHandler{false}, handlerMayReturn{false}, initReturned{false};
    connection.setOnEvent([&](const testsupport::RecordedEvent&) {
        inHandler = true;
        while (!handlerMayReturn) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    std::thread sender([] { peer::send(0, u"held in the handler"); });
    for (int attempt = 0; attempt < 1000 && !inHandler; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(inHandler);
    std::thread host([&] {
        component.initDone()->Init(nullptr);
        initReturned = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(initReturned) << "Init returned while a delivery still used the connection it replaced";
    handlerMayReturn = true;
    host.join();
    sender.join();
    EXPECT_TRUE(initReturned);
    connection.setOnEvent(nullptr);
    EXPECT_EQ(1u, connection.eventCount());
}

TEST_F(ConnectedComponent, DestructionReleasesThePeersAndStopsTheirBarcodes) {
    HostConnection second;
    component.initDone()->Init(&second);
    LogWindow log;
    EXPECT_EQ(0, component.destroy());
    Lines lines = withoutEnvLines(log.messages());
    EXPECT_EQ((Lines{"DestroyObject", "Destructor", "on destroy"}),
              Lines(lines.begin(), lines.begin() + std::min<size_t>(3, lines.size())));
    peer::send(0, u"late");
    peer::send(1, u"late");
    peer::sendFromNewThread(1, u"late");
    EXPECT_EQ(0u, connection.eventCount());
    EXPECT_EQ(0u, second.eventCount());
}

TEST_F(ConnectedComponent, LongBarcodesAndBarcodesAfterEachOtherArriveWhole) {
    std::u16string longBarcode;
    for (int i = 0; i < 700; ++i) {
        longBarcode += static_cast<char16_t>(i % 2 == 0 ? u'0' + i % 10 : 0x0410 + i % 32);
    }
    peer::send(0, longBarcode);
    peer::send(0, u"4600000000001");
    peer::sendFromNewThread(0, longBarcode.substr(0, 64));
    ASSERT_EQ(3u, connection.eventCount());
    std::vector<testsupport::RecordedEvent> events = connection.events();
    EXPECT_EQ(longBarcode, events[0].data);
    EXPECT_EQ(u"4600000000001", events[1].data);
    EXPECT_EQ(longBarcode.substr(0, 64), events[2].data);
    for (const testsupport::RecordedEvent& event : events) {
        EXPECT_EQ(u"MobileScannerDevice", event.source);
        EXPECT_EQ(u"Штрихкод", event.message);
    }
}
