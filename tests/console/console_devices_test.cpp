// The emulated scanners driven through the console and the library: the device list, devices
// that fail, a device unplugged while it sends, the TCP source with a real socket client, and
// the keyboard source.
#include "tests/console/console_process.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

using consoletest::appearInOrder;
using consoletest::ConsoleProcess;
using consoletest::TempDir;

namespace {

std::string eventWith(const std::string& data) {
    return "message \"Штрихкод\", data \"" + data + "\"";
}

// Asks for the last error until it contains `text` (the reader notices a lost source on its
// own thread, a moment after it happens).
bool errorSoonSays(ConsoleProcess& console, const std::string& text) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        console.send("error");
        if (!console.waitFor("GetLastError: call true, value int 1\n  1: string \"")) {
            return false;
        }
        size_t start = console.position();
        if (!console.waitFor("\"\n")) {
            return false;
        }
        std::string error = console.output().substr(start, console.position() - 2 - start);
        if (error.find(text) != std::string::npos) {
            return true;
        }
        usleep(50 * 1000);
    }
    return false;
}

void sendAll(int socketFd, const std::string& bytes) {
    ASSERT_EQ(static_cast<ssize_t>(bytes.size()), send(socketFd, bytes.data(), bytes.size(), 0));
}

}  // namespace

TEST(ConsoleDevices, ChoiceListEscapesNamesForXmlAndListsThemReadably) {
    TempDir dir;
    dir.write("devices.conf",
              "# comment\n"
              "AA:01 | Plain | stdin\n"
              "AA:&2 | <Dock> & \"Bay\" 'B' | file:x.txt\n"
              "broken line\n"
              "AA:03 | Socket | tcp:99999\n");
    ConsoleProcess console({"--devices", dir.file("devices.conf"), "-"});
    console.send("parameters\nerror");
    EXPECT_EQ(0, console.finish());
    const std::string& output = console.output();
    EXPECT_NE(
        std::string::npos,
        output.find("<ChoiceList><Item Value=\"AA:01\">Plain</Item><Item Value=\"AA:&amp;2\">&lt;Dock&gt; "
                    "&amp; &quot;Bay&quot; &apos;B&apos;</Item></ChoiceList>"))
        << output;
    EXPECT_TRUE(appearInOrder(
        output, {"    AA:01              Plain", "    AA:&2              <Dock> & \"Bay\" 'B'"}))
        << output;
    // Lines that cannot be used are left out, and the last error says why.
    EXPECT_NE(std::string::npos, output.find("devices.conf line 4: expected 'address | name | source'"))
        << output;
    EXPECT_NE(std::string::npos, output.find("the port of 'tcp:99999' is not a number from 1 to 65535"))
        << output;
}

TEST(ConsoleDevices, ADeviceThatFailsToOpenSaysWhyThroughError) {
    TempDir dir;
    dir.write("devices.conf", "AA:01 | Switched off | file:missing.txt\n");
    ConsoleProcess console({"--devices", dir.file("devices.conf"), "-"});
    console.send(
        "set BluetoothDevice AA:01\n"
        "expect-failure open\n"
        "error\n"
        "expect-failure test\n"
        "error\n"
        "set BluetoothDevice AA:99\n"
        "expect-failure open\n"
        "error\n"
        "open\n"
        "version");
    EXPECT_EQ(1, console.finish()) << "the last open is not expected to fail, so the script fails there";
    const std::string& output = console.output();
    std::string missing = dir.file("missing.txt");
    EXPECT_TRUE(appearInOrder(
        output,
        {"Open: call true, value bool false",
         "1: string \"cannot open scanner 'Switched off' (AA:01): cannot open the barcode file " + missing +
             ": it does not exist\"",
         "DeviceTest: call true, value bool false",
         "1: string \"test of scanner 'Switched off' (AA:01) failed: the barcode file " + missing +
             " does not exist\"",
         "1: string \"no emulated scanner has the address 'AA:99'\"", "script: step at line 9 failed"}))
        << output;
    EXPECT_EQ(std::string::npos, output.find("GetVersion")) << output;
}

TEST(ConsoleDevices, AFileScannerUnpluggedMidStreamEndsItsReaderAndTheConsoleGoesOn) {
    TempDir dir;
    dir.write("devices.conf",
              "AA:01 | File scanner | file:scans.txt\n"
              "AA:02 | Keyboard | stdin\n");
    dir.write("scans.txt", "first\n");
    ConsoleProcess console({"--devices", dir.file("devices.conf"), "-"});
    console.send("set BluetoothDevice AA:01\nopen\nwait 1 events");
    ASSERT_TRUE(console.waitFor("wait: 1 event arrived")) << console.output();

    // Lines appended while the device is open arrive as scans; a CR LF split across two
    // writes ends one line, and a blank line is no barcode.
    dir.write("scans.txt", "second\r", true);
    dir.write("scans.txt", "\nthird\n\n", true);
    console.send("wait 2 events");
    ASSERT_TRUE(console.waitFor("wait: 2 events arrived")) << console.output();

    ASSERT_EQ(0, remove(dir.file("scans.txt").c_str()));
    EXPECT_TRUE(errorSoonSays(console, "scanner 'File scanner' (AA:01) was disconnected: the barcode file " +
                                           dir.file("scans.txt") + " was removed or replaced"))
        << console.output();

    // The console keeps working: the method calls go on and another device opens.
    console.send("version\nclose\nset BluetoothDevice AA:02\nopen\nscan after-unplug\nwait 1 events\nclose");
    EXPECT_EQ(0, console.finish());
    const std::string& output = console.output();
    EXPECT_TRUE(appearInOrder(
        output, {eventWith("first"), eventWith("second"), eventWith("third"), "GetVersion: call true",
                 "Close: call true, value bool true", eventWith("after-unplug")}))
        << output;
    EXPECT_EQ(std::string::npos, output.find(eventWith(""))) << output;
}

TEST(ConsoleDevices, TheTcpSourceTurnsEachLineOfARealSocketClientIntoOneEvent) {
    TempDir dir;
    int port = consoletest::freeLoopbackPort();
    ASSERT_GT(port, 0);
    dir.write("devices.conf", "AA:01 | Serial | tcp:" + std::to_string(port) + "\n");
    ConsoleProcess console({"--devices", dir.file("devices.conf"), "-"});
    console.send("set BluetoothDevice AA:01\ntest\nopen");
    ASSERT_TRUE(console.waitFor("Open: call true, value bool true")) << console.output();

    int client = consoletest::connectLoopback(port);
    ASSERT_GE(client, 0);
    sendAll(client, "4006381333931\r");
    sendAll(client,
            "\nKESTRA-0001-X\n0104601234567893\x1d"
            "10LOT\r\n\r\n");
    sendAll(client, "Счёт №7 \"тест\"\r");
    sendAll(client, "LAST-WITHOUT-LINE-END");
    console.send("wait 4 events");
    ASSERT_TRUE(console.waitFor("wait: 4 events arrived")) << console.output();

    // The scanner goes away: its last line still counts, and the error says what happened.
    close(client);
    console.send("wait 1 events");
    ASSERT_TRUE(console.waitFor("wait: 1 event arrived")) << console.output();
    EXPECT_TRUE(
        errorSoonSays(console, "scanner 'Serial' (AA:01) was disconnected: the scanner on 127.0.0.1:" +
                                   std::to_string(port) + " closed the connection"))
        << console.output();
    console.send("version\ntest\nclose");
    EXPECT_EQ(0, console.finish());
    const std::string& output = console.output();
    EXPECT_TRUE(appearInOrder(output, {"DeviceTest: call true, value bool true", eventWith("4006381333931"),
                                       eventWith("KESTRA-0001-X"), eventWith("0104601234567893<GS>10LOT"),
                                       eventWith("Счёт №7 \"тест\""), eventWith("LAST-WITHOUT-LINE-END"),
                                       "GetVersion: call true", "DeviceTest: call true, value bool true"}))
        << output;
    EXPECT_EQ(std::string::npos, output.find(eventWith(""))) << output;
}

TEST(ConsoleDevices, ATcpPortInUseFailsOpenAndTestWithTheReason) {
    TempDir dir;
    int port = consoletest::freeLoopbackPort();
    dir.write("devices.conf", "AA:01 | Serial | tcp:" + std::to_string(port) + "\n");
    ConsoleProcess first({"--devices", dir.file("devices.conf"), "-"});
    first.send("set BluetoothDevice AA:01\nopen");
    ASSERT_TRUE(first.waitFor("Open: call true, value bool true")) << first.output();

    ConsoleProcess second({"--devices", dir.file("devices.conf"), "-"});
    second.send("set BluetoothDevice AA:01\nexpect-failure test\nexpect-failure open\nerror");
    EXPECT_EQ(0, second.finish());
    std::string reason = "cannot listen on 127.0.0.1:" + std::to_string(port) + ": ";
    EXPECT_TRUE(appearInOrder(second.output(),
                              {"DeviceTest: call true, value bool false", "Open: call true, value bool false",
                               "1: string \"cannot open scanner 'Serial' (AA:01): " + reason}))
        << second.output();
    EXPECT_EQ(0, first.finish());
}

TEST(ConsoleDevices, TheKeyboardScannerReadsTheScanCommandOrTheRealStandardInput) {
    TempDir dir;
    dir.write("devices.conf", "AA:01 | Keyboard | stdin\n");
    {
        ConsoleProcess console({"--devices", dir.file("devices.conf"), "-"});
        console.send(
            "set BluetoothDevice AA:01\nopen\nscan \"A B\"\nscan 4006381333931\nwait 2 events\nclose");
        EXPECT_EQ(0, console.finish());
        EXPECT_TRUE(appearInOrder(console.output(), {eventWith("A B"), eventWith("4006381333931")}))
            << console.output();
    }
    {
        // With a script file, the console's own standard input is the keyboard scanner's.
        dir.write("read.script",
                  "set BluetoothDevice AA:01\nopen\nwait 2 events\nclose\nexpect-failure scan x\n");
        ConsoleProcess console({"--devices", dir.file("devices.conf"), dir.file("read.script")});
        console.send("typed-1\r\ntyped-2");
        console.closeInput();
        EXPECT_EQ(0, console.finish());
        EXPECT_TRUE(appearInOrder(console.output(), {eventWith("typed-1"), eventWith("typed-2"),
                                                     "scan: the keyboard scanner reads this console's own "
                                                     "standard input"}))
            << console.output();
    }
}

TEST(ConsoleDevices, ABurstOfScansArrivesCompleteAndInOrder) {
    TempDir dir;
    dir.write("devices.conf", "AA:01 | File scanner | file:burst.txt\n");
    std::string lines;
    std::vector<std::string> events;
    for (int i = 0; i < 500; ++i) {
        std::string barcode = "BURST-" + std::to_string(i);
        lines += barcode + (i % 3 == 0 ? "\r\n" : i % 3 == 1 ? "\n" : "\r");
        events.push_back(eventWith(barcode));
    }
    dir.write("burst.txt", lines);
    ConsoleProcess console({"--devices", dir.file("devices.conf"), "-"});
    console.send(
        "set BluetoothDevice AA:01\nopen\nwait 500 events 60\nclose\nexpect-failure wait 1 events 0.5");
    EXPECT_EQ(0, console.finish());
    EXPECT_TRUE(appearInOrder(console.output(), events)) << console.output();
}

// A host may release its side right after Close returns: no barcode may reach it afterwards,
// also when the scanner is sending at that moment. Quitting with the device open is safe too.
TEST(ConsoleDevices, CloseStopsTheReaderEvenWhileTheScannerIsSending) {
    TempDir dir;
    int port = consoletest::freeLoopbackPort();
    dir.write("devices.conf", "AA:01 | Serial | tcp:" + std::to_string(port) + "\n");
    ConsoleProcess console({"--devices", dir.file("devices.conf"), "-"});
    console.send("set BluetoothDevice AA:01\nopen");
    ASSERT_TRUE(console.waitFor("Open: call true, value bool true")) << console.output();
    int client = consoletest::connectLoopback(port);
    ASSERT_GE(client, 0);
    std::atomic<bool> sending{true};
    std::thread scanner([&] {
        // As fast as the socket takes them, so the reader always holds lines not handed on yet.
        for (int i = 0; sending; i += 100) {
            std::string lines;
            for (int k = i; k < i + 100; ++k) {
                lines += "STREAM-" + std::to_string(k) + "\n";
            }
            if (send(client, lines.data(), lines.size(), MSG_NOSIGNAL) < 0) {
                break;
            }
        }
    });
    console.send("wait 20 events\nclose");
    bool closed = console.waitFor("Close: call true, value bool true");
    size_t closedAt = console.position();
    console.send("version");
    EXPECT_TRUE(console.waitFor("GetVersion: call true")) << console.output();
    sending = false;
    scanner.join();
    close(client);
    EXPECT_TRUE(closed) << console.output();
    EXPECT_EQ(std::string::npos, console.output().find("event:", closedAt)) << console.output();

    console.send("open");
    ASSERT_TRUE(console.waitFor("Open: call true, value bool true")) << console.output();
    client = consoletest::connectLoopback(port);
    ASSERT_GE(client, 0);
    sendAll(client, "ONE-MORE\n");
    EXPECT_TRUE(console.waitFor(eventWith("ONE-MORE"))) << console.output();
    console.send("quit");
    EXPECT_EQ(0, console.finish());
    close(client);
}
