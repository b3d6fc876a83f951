// The scanners driven through the console and the library: the device list, devices that fail,
// a device unplugged while it sends, the TCP source with a real socket client, a serial device
// (a pseudo-terminal), sources whose open would block, and the keyboard source.
#include "tests/console/console_process.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <linux/input.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
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

// A pseudo-terminal pair: the console opens the slave as its serial device, the test plays the
// scanner on the master.
struct PseudoTerminal {
    PseudoTerminal() {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        // The console must not inherit the master, or closing it here would not hang up.
        if (master >= 0 && fcntl(master, F_SETFD, FD_CLOEXEC) == 0 && grantpt(master) == 0 &&
            unlockpt(master) == 0) {
            slave = ptsname(master);
        }
    }
    ~PseudoTerminal() { hangUp(); }
    void hangUp() {
        if (master >= 0) {
            close(master);
            master = -1;
        }
    }
    // The slave's mode, as the console left it (the master reads the slave's settings).
    termios mode() const {
        termios current{};
        tcgetattr(master, &current);
        return current;
    }
    int master = -1;
    std::string slave;
};

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

TEST(ConsoleDevices, ChoiceListEscapesNamesForXmlAndListsThemReadably) {
    TempDir dir;
    // Saved with a byte-order mark, which is no part of the first address.
    dir.write("devices.conf",
              "\xEF\xBB\xBF"
              "AA:01 | Plain | stdin\n"
              "AA:&2 | <Dock> & \"Bay\" 'B' | file:x.txt\n"
              "broken line\n"
              "AA:03 | Socket | tcp:99999\n"
              "AA:04 | Desk | serial:/dev/ttyACM0:12345\n"
              "AA:05 | Typo | serial:" +
                  dir.file("scanA") +
                  ":fast\n"
                  "AA:06 | Options | stdin | codepage=nope\n");
    ConsoleProcess console({"--devices", dir.file("devices.conf"), "-"});
    console.send("parameters\nerror\nset BluetoothDevice AA:01\nopen\nerror\nclose");
    EXPECT_EQ(0, console.finish());
    const std::string& output = console.output();
    // Each line that cannot be used is reported when the console starts, with file and line.
    EXPECT_TRUE(appearInOrder(
        output,
        {"kestra-console: " + dir.file("devices.conf") + " line 3: expected 'address | name | source'",
         "kestra-console: " + dir.file("devices.conf") + " line 4: the port of 'tcp:99999'",
         "kestra-console: " + dir.file("devices.conf") +
             " line 5: the speed of 'serial:/dev/ttyACM0:12345' is not one a serial port takes",
         "kestra-console: " + dir.file("devices.conf") +
             " line 6: the speed 'fast' of 'serial:" + dir.file("scanA") + ":fast' is not a number",
         "kestra-console: " + dir.file("devices.conf") + " line 7: 'nope' is no code page this system knows",
         "> parameters"}))
        << output;
    EXPECT_NE(
        std::string::npos,
        output.find("<ChoiceList><Item Value=\"AA:01\">Plain</Item><Item Value=\"AA:&amp;2\">&lt;Dock&gt; "
                    "&amp; &quot;Bay&quot; &apos;B&apos;</Item></ChoiceList>"))
        << output;
    EXPECT_TRUE(appearInOrder(
        output, {"    AA:01              Plain", "    AA:&2              <Dock> & \"Bay\" 'B'"}))
        << output;
    // They are left out, and the last error says why as well.
    EXPECT_NE(std::string::npos, output.find("devices.conf line 3: expected 'address | name | source'"))
        << output;
    EXPECT_NE(std::string::npos, output.find("the port of 'tcp:99999' is not a number from 1 to 65535"))
        << output;
    // A successful open clears the last error: the file's problems are no error of the device.
    EXPECT_TRUE(appearInOrder(
        output, {"Open: call true, value bool true", "> error", "1: string \"no error has occurred\""}))
        << output;
}

TEST(ConsoleDevices, ADeviceThatFailsToOpenSaysWhyThroughError) {
    TempDir dir;
    dir.write("devices.conf",
              "AA:01 | Switched off | file:missing.txt\n"
              "AA:02 | Null | serial:/dev/null\n"
              "AA:03 | Plain file | serial:plain.txt\n");
    dir.write("plain.txt", "no terminal\n");
    ConsoleProcess console({"--devices", dir.file("devices.conf"), "-"});
    // Test passes only where open would: a device that is no terminal fails both.
    console.send(
        "set BluetoothDevice AA:02\nexpect-failure test\nerror\nexpect-failure open\n"
        "set BluetoothDevice AA:03\nexpect-failure test\nerror\nexpect-failure open\n"
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
         "1: string \"test of scanner 'Switched off' (AA:01) failed: cannot open the barcode file " +
             missing + ": it does not exist\"",
         "1: string \"no emulated scanner has the address 'AA:99'\"", "script: step at line 17 failed"}))
        << output;
    EXPECT_EQ(std::string::npos, output.find("GetVersion")) << output;
    const std::string notATerminal = ": it is not a serial device (not a terminal)\"";
    EXPECT_TRUE(appearInOrder(
        output,
        {"DeviceTest: call true, value bool false",
         "test of scanner 'Null' (AA:02) failed: cannot open the serial device /dev/null" + notATerminal,
         "Open: call true, value bool false", "DeviceTest: call true, value bool false",
         "test of scanner 'Plain file' (AA:03) failed: cannot open the serial device " +
             dir.file("plain.txt") + notATerminal,
         "Open: call true, value bool false"}))
        << output;
}

// A folder named as a barcode file fails test and open (it opens for reading, and would fail only
// at its first read); an address is the same in either case, so it cannot be listed twice; and a
// test that passes clears the last error, as an open that succeeds does.
TEST(ConsoleDevices, AFolderFailsTestAndOpenAndAPassedTestClearsTheLastError) {
    TempDir dir;
    dir.write("devices.conf",
              "AA:01 | Folder | file:.\n"
              "AA:02 | Fine | file:plain.txt\n"
              "aa:02 | Fine again | stdin\n");
    dir.write("plain.txt", "4006381333931\n");
    ConsoleProcess console({"--devices", dir.file("devices.conf"), "-"});
    console.send(
        "set BluetoothDevice aa:01\nexpect-failure test\nexpect-failure open\nerror\n"
        "set BluetoothDevice aa:02\ntest\nerror");
    EXPECT_EQ(0, console.finish());
    const std::string& output = console.output();
    const std::string folder =
        "cannot open the barcode file " + dir.path() + "/.: it is a folder, not a file";
    EXPECT_TRUE(appearInOrder(
        output, {"kestra-console: " + dir.file("devices.conf") + " line 3: the address aa:02 is listed twice",
                 "DeviceTest: call true, value bool false",
                 "test of scanner 'Folder' (AA:01) failed: " + folder, "Open: call true, value bool false",
                 "1: string \"cannot open scanner 'Folder' (AA:01): " + folder + "\"",
                 "DeviceTest: call true, value bool true", "1: string \"no error has occurred\""}))
        << output;
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

// A user outside the group that owns a serial device is refused it; the reason names the group.
TEST(ConsoleDevices, ASerialDeviceRefusedForPermissionNamesItsGroup) {
    const std::vector<std::string> asNobody = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    std::string check;
    for (const std::string& word : asNobody) {
        check += word + " ";
    }
    check += "test -x " + consoletest::consoleCommand().back() + " 2>/dev/null";
    if (geteuid() != 0 || system(check.c_str()) != 0) {
        GTEST_SKIP()
            << "needs root, to run the console as another user with setpriv, and a build that user can "
               "read";
    }
    TempDir dir;
    ASSERT_EQ(0, chmod(dir.path().c_str(), 0755));
    dir.write("devices.conf", "AA:01 | Desk scanner | serial:ttyDesk\n");
    dir.write("ttyDesk", "");
    ASSERT_EQ(0, chmod(dir.file("ttyDesk").c_str(), 0660));
    ASSERT_EQ(0, chown(dir.file("ttyDesk").c_str(), 0, 20)) << "gid 20: dialout on Debian";
    std::string groupName = "dialout";
    if (const struct group* owner = getgrgid(20)) {
        groupName = owner->gr_name;
    }
    std::vector<std::string> runner = asNobody;
    runner.insert(runner.end(), {"env", "HOME=/"});
    ConsoleProcess console({"--devices", dir.file("devices.conf"), "-"}, runner);
    console.send("set BluetoothDevice AA:01\nexpect-failure open");
    EXPECT_EQ(0, console.finish());
    EXPECT_NE(
        std::string::npos,
        console.output().find("cannot open the serial device " + dir.file("ttyDesk") +
                              ": Permission denied (serial devices are for the members of the group " +
                              groupName + ": sudo usermod -aG " + groupName + " $USER, then log in again)"))
        << console.output();
}

TEST(ConsoleDevices, TheTcpSourceTurnsEachLineOfARealSocketClientIntoOneEvent) {
    TempDir dir;
    int port = consoletest::freeLoopbackPort();
    ASSERT_GT(port, 0);
    // The options of the line choose the code page of lines that are no UTF-8.
    dir.write("devices.conf", "AA:01 | Serial | tcp:" + std::to_string(port) + " | codepage=windows-1252\n");
    ConsoleProcess console({"--devices", dir.file("devices.conf"), "-"});
    // Addresses are compared without regard to case, as on a phone.
    console.send("set BluetoothDevice aa:01\ntest\nopen");
    ASSERT_TRUE(console.waitFor("Open: call true, value bool true")) << console.output();

    int client = consoletest::connectLoopback(port);
    ASSERT_GE(client, 0);
    sendAll(client, "4006381333931\r");
    sendAll(client,
            "\nKESTRA-0001-X\n0104601234567893\x1d"
            "10LOT\r\n\r\n");
    sendAll(client, "Счёт №7 \"тест\"\r");
    // A line of exactly the limit (64 KiB, two-byte characters) is one barcode; a line over it
    // is refused whole, never cut into barcodes (nor a character cut in two), a line says so at
    // once, and the reader goes on. A line that is no UTF-8 is read in the device's code page.
    std::string atLimit;
    for (int i = 0; i < 32768; ++i) {
        atLimit += "Ж";
    }
    sendAll(client, atLimit + "\n");
    sendAll(client, "x" + atLimit + "\n");
    sendAll(client, "BAD-\xff\xc3-BYTES\n");
    // The host's text ends at a NUL: the console says where, once.
    sendAll(client, std::string("NUL\0CUT\0AGAIN\n", 14));
    console.send("wait 7 events");
    ASSERT_TRUE(console.waitFor("wait: 7 events arrived")) << console.output();
    EXPECT_TRUE(errorSoonSays(console,
                              "scanner 'Serial' (AA:01) sent a line of 65537 bytes, more than the 65536 "
                              "a barcode may have; it was refused whole"))
        << console.output();

    // The scanner goes away mid-line: the fragment is no barcode, and the error says so.
    sendAll(client, "LAST-WITHOUT-LINE-END");
    close(client);
    EXPECT_TRUE(console.waitFor("] lost: scanner 'Serial' (AA:01): the scanner on 127.0.0.1:" +
                                std::to_string(port) + " closed the connection"))
        << console.output();
    EXPECT_TRUE(errorSoonSays(
        console,
        "scanner 'Serial' (AA:01) was disconnected: the scanner on 127.0.0.1:" + std::to_string(port) +
            " closed the connection; the 21 bytes received after the last line end were "
            "no whole barcode and were dropped"))
        << console.output();
    // The peer connects again by itself (a line says so): the next client's barcodes arrive with
    // no open, and Open of the device then clears the loss from the last error.
    EXPECT_TRUE(errorSoonSays(
        console, "were no whole barcode and were dropped; connected again (attempt 1 connected)"))
        << console.output();
    client = consoletest::connectLoopback(port);
    ASSERT_GE(client, 0);
    sendAll(client, "AFTER-RECONNECT\n");
    console.send("wait 1 events");
    ASSERT_TRUE(console.waitFor("wait: 1 event arrived")) << console.output();
    close(client);
    EXPECT_TRUE(errorSoonSays(console, "closed the connection; connected again (attempt 1 connected)"))
        << console.output();
    console.send("version\ntest\nopen\nerror\nclose");
    EXPECT_EQ(0, console.finish());
    const std::string& output = console.output();
    EXPECT_TRUE(appearInOrder(
        output,
        {"DeviceTest: call true, value bool true", eventWith("4006381333931"), eventWith("KESTRA-0001-X"),
         eventWith("0104601234567893<GS>10LOT"), eventWith("Счёт №7 \"тест\""), eventWith(atLimit),
         eventWith("BAD-ÿÃ-BYTES"), eventWith("NUL"), eventWith("AFTER-RECONNECT"), "GetVersion: call true",
         "DeviceTest: call true, value bool true", "Open: call true, value bool true",
         "1: string \"no error has occurred\""}))
        << output;
    EXPECT_EQ(std::string::npos, output.find(eventWith(""))) << output;
    EXPECT_EQ(std::string::npos, output.find("LAST-WITHOUT-LINE-END\"")) << output;
    EXPECT_EQ(std::string::npos, output.find("\uFFFDЖ")) << output;
    EXPECT_EQ(std::string::npos, output.find("Ж\uFFFD")) << output;
    EXPECT_EQ(std::string::npos, output.find(eventWith("x"))) << output;
    EXPECT_NE(std::string::npos, output.find("] reconnected: scanner 'Serial' (AA:01): attempt 1 connected"))
        << output;
    EXPECT_NE(std::string::npos,
              output.find("] refused: scanner 'Serial' (AA:01): a line of 65537 bytes, more "
                          "than the 65536 a barcode may have, was refused whole"))
        << output;
    const std::string cut =
        "] cut: scanner 'Serial' (AA:01): the barcode holds a NUL after 3 characters; the host's text ends "
        "there: "
        "\"NUL\"";
    ASSERT_NE(std::string::npos, output.find(cut)) << output;
    EXPECT_EQ(std::string::npos, output.find(cut, output.find(cut) + 1)) << "said once";
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

TEST(ConsoleDevices, ASerialScannerIsReadRawAtItsSpeedAndReportedGoneWhenUnplugged) {
    PseudoTerminal atDefault;
    PseudoTerminal scanner;
    PseudoTerminal pluggedAgain;
    ASSERT_FALSE(scanner.slave.empty() || atDefault.slave.empty() || pluggedAgain.slave.empty());
    TempDir dir;
    // The scanner's device is a link, so that it can come back under the same name.
    ASSERT_EQ(0, symlink(scanner.slave.c_str(), dir.file("scanner").c_str()));
    dir.write("devices.conf",
              "AA:01 | Desk scanner | serial:scanner:19200\n"
              "AA:02 | Default speed | serial:" +
                  atDefault.slave + "\n");
    {
        // Another program that reads the device already would take a part of every barcode: it is
        // refused, with that program named (here this test; the name is the emulator's under one).
        int held = open(scanner.slave.c_str(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(held, 0);
        ConsoleProcess other({"--devices", dir.file("devices.conf"), "-"});
        other.send("set BluetoothDevice AA:01\nexpect-failure test\nexpect-failure open");
        EXPECT_EQ(0, other.finish());
        close(held);
        EXPECT_TRUE(appearInOrder(
            other.output(),
            {"DeviceTest: call true, value bool false", "Open: call true, value bool false",
             "it is in use by another program, ", " (process " + std::to_string(getpid()) + ")"}))
            << other.output();
    }
    ConsoleProcess console({"--devices", dir.file("devices.conf"), "-"});
    console.send("set BluetoothDevice AA:02\nopen");
    ASSERT_TRUE(console.waitFor("Open: call true, value bool true")) << console.output();
    termios mode = atDefault.mode();
    EXPECT_EQ(B9600, cfgetispeed(&mode)) << "a pseudo-terminal starts at 38400 baud";
    console.send("close\nset BluetoothDevice AA:01\nopen");
    ASSERT_TRUE(console.waitFor("Open: call true, value bool true")) << console.output();

    mode = scanner.mode();
    EXPECT_EQ(B19200, cfgetispeed(&mode));
    EXPECT_EQ(B19200, cfgetospeed(&mode));
    EXPECT_EQ(0u, mode.c_lflag & (ECHO | ICANON | ISIG)) << "no echo, no line editing";
    EXPECT_EQ(0u, mode.c_iflag & (ICRNL | INLCR | IGNCR)) << "CR and LF arrive untranslated";
    {
        // One reader per device: a second console is refused, for test as for open.
        ConsoleProcess second({"--devices", dir.file("devices.conf"), "-"});
        second.send("set BluetoothDevice AA:01\nexpect-failure test\nexpect-failure open\nerror");
        EXPECT_EQ(0, second.finish());
        EXPECT_TRUE(appearInOrder(
            second.output(), {"DeviceTest: call true, value bool false", "Open: call true, value bool false",
                              "it is in use by another program"}))
            << second.output();
    }
    ASSERT_EQ(18, write(scanner.master, "CR-1\rLF-2\nCRLF-3\r\n", 18));
    console.send("wait 3 events");
    ASSERT_TRUE(console.waitFor("wait: 3 events arrived")) << console.output();

    // Unplugged: a line says so at once (no --log needed), the reader ends, the error says the
    // scanner is gone, and the console goes on.
    scanner.hangUp();
    EXPECT_TRUE(console.waitFor("] lost: scanner 'Desk scanner' (AA:01): the serial device " +
                                dir.file("scanner") + " is gone"))
        << console.output();
    EXPECT_TRUE(errorSoonSays(console, "scanner 'Desk scanner' (AA:01) was disconnected: the serial device " +
                                           dir.file("scanner") + " is gone"))
        << console.output();
    // Plugged in again: open connects to it.
    ASSERT_EQ(0, remove(dir.file("scanner").c_str()));
    ASSERT_EQ(0, symlink(pluggedAgain.slave.c_str(), dir.file("scanner").c_str()));
    console.send("version\nopen");
    ASSERT_TRUE(console.waitFor("Open: call true, value bool true")) << console.output();
    ASSERT_EQ(6, write(pluggedAgain.master, "AGAIN\n", 6));
    console.send("wait 1 events\nclose");
    EXPECT_EQ(0, console.finish());
    const std::string& output = console.output();
    EXPECT_TRUE(appearInOrder(
        output, {eventWith("CR-1"), eventWith("LF-2"), eventWith("CRLF-3"), "GetVersion: call true",
                 eventWith("AGAIN"), "Close: call true, value bool true"}))
        << output;
    EXPECT_EQ(std::string::npos, output.find(eventWith(""))) << output;
}

// A FIFO is a stream whose writers come and go; a path whose open blocks (here a FIFO opened as
// a serial device, which waits for a writer) fails the open after a few seconds.
TEST(ConsoleDevices, OpenReturnsAtOnceForAFifoAndGivesUpOnAPathWhoseOpenBlocks) {
    TempDir dir;
    std::string fifo = dir.file("scans.fifo");
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    dir.write("devices.conf",
              "AA:01 | Pipe | file:scans.fifo\n"
              "AA:02 | Blocked | serial:scans.fifo\n");
    ConsoleProcess console({"--devices", dir.file("devices.conf"), "-"});
    console.send("version");
    ASSERT_TRUE(console.waitFor("GetVersion: call true")) << console.output();
    auto start = std::chrono::steady_clock::now();
    console.send("set BluetoothDevice AA:01\ntest\nopen");
    ASSERT_TRUE(console.waitFor("Open: call true, value bool true", 10)) << console.output();
    EXPECT_LT(secondsSince(start), 3.0) << "nobody writes into the FIFO yet";
    for (const char* barcode : {"FIFO-1\n", "FIFO-2\n"}) {
        int writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        ASSERT_GE(writer, 0);
        ASSERT_EQ(7, write(writer, barcode, 7));
        close(writer);
    }
    console.send("wait 2 events\nclose");
    ASSERT_TRUE(console.waitFor("Close: call true, value bool true")) << console.output();

    start = std::chrono::steady_clock::now();
    console.send("set BluetoothDevice AA:02\nexpect-failure open");
    ASSERT_TRUE(console.waitFor("Open: call true, value bool false", 20)) << console.output();
    double seconds = secondsSince(start);
    EXPECT_GT(seconds, 4.0);
    EXPECT_LT(seconds, 10.0);
    EXPECT_TRUE(console.waitFor("cannot open scanner 'Blocked' (AA:02): cannot open the serial device " +
                                fifo + ": it did not open within 5 s"))
        << console.output();
    EXPECT_EQ(0, console.finish());
    EXPECT_TRUE(
        appearInOrder(console.output(), {"DeviceTest: call true, value bool true", eventWith("FIFO-1"),
                                         eventWith("FIFO-2"), "(failed as expected)"}))
        << console.output();
}

TEST(ConsoleDevices, TheKeyboardScannerReadsTheScanCommandOrTheRealStandardInput) {
    TempDir dir;
    dir.write("devices.conf", "AA:01 | Keyboard | stdin\n");
    {
        // A barcode typed while the scanner is closed is refused, not kept for the next open.
        ConsoleProcess console({"--devices", dir.file("devices.conf"), "-"});
        console.send(
            "set BluetoothDevice AA:01\nexpect-failure scan EARLY\nopen\nscan \"A B\"\nscan 4006381333931\n"
            "wait 2 events\nscan BEFORE-CLOSE\nclose\nwait 1 events\nexpect-failure scan LATE\nopen\n"
            "expect-failure wait 1 events 0.5\nclose");
        EXPECT_EQ(0, console.finish());
        EXPECT_TRUE(appearInOrder(console.output(),
                                  {"scan: no emulated scanner is open", eventWith("A B"),
                                   eventWith("4006381333931"), eventWith("BEFORE-CLOSE"),
                                   "Close: call true, value bool true", "scan: no emulated scanner is open"}))
            << console.output();
        EXPECT_EQ(std::string::npos, console.output().find("EARLY\"")) << console.output();
        EXPECT_EQ(std::string::npos, console.output().find("LATE\"")) << console.output();
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

// A recording of a keyboard's input events, in the layout of this program's own records (the
// console is built for the same architecture): each key event follows the scan code's event
// and is followed by a report's end, as the kernel sends them.
class InputRecording {
public:
    InputRecording& key(int code, int value) {
        add(EV_MSC, MSC_SCAN, 0x70000 + code);
        add(EV_KEY, code, value);
        add(EV_SYN, SYN_REPORT, 0);
        return *this;
    }
    InputRecording& tap(int code) { return key(code, 1).key(code, 0); }
    InputRecording& with(int modifier, int code) { return key(modifier, 1).tap(code).key(modifier, 0); }
    const std::string& bytes() const { return m_bytes; }

private:
    void add(int type, int code, int value) {
        input_event event{};
        event.type = static_cast<uint16_t>(type);
        event.code = static_cast<uint16_t>(code);
        event.value = value;
        m_bytes.append(reinterpret_cast<const char*>(&event), sizeof event);
    }
    std::string m_bytes;
};

TEST(ConsoleDevices, KeyboardModeScannersAreDecodedByTheirLayoutEmulatedOrRecorded) {
    TempDir dir;
    // A US scanner: digits, GS as Ctrl+], Shift, an auto-repeat the kernel added (ignored).
    InputRecording us;
    for (int code : {KEY_4, KEY_0, KEY_0, KEY_6}) {
        us.tap(code);
    }
    us.with(KEY_LEFTCTRL, KEY_RIGHTBRACE)
        .with(KEY_LEFTSHIFT, KEY_A)
        .key(KEY_B, 1)
        .key(KEY_B, 2)
        .key(KEY_B, 0);
    us.tap(KEY_ENTER);
    // An AZERTY scanner: Shift for digits, the key right of P a dead circumflex.
    InputRecording french;
    french.with(KEY_LEFTSHIFT, KEY_H).with(KEY_LEFTSHIFT, KEY_Q).with(KEY_LEFTSHIFT, KEY_1).tap(KEY_2);
    french.tap(KEY_LEFTBRACE).tap(KEY_E).key(KEY_ENTER, 1).key(KEY_ENTER, 0);
    dir.write("us.events", us.bytes());
    dir.write("fr.events", french.bytes());
    dir.write("devices.conf",
              "AA:11 | Emulated US | keys:us\n"
              "AA:12 | Emulated French | keys:fr\n"
              "AA:13 | Emulated Russian | keys:ru\n"
              "AA:21 | Recorded US | hid:us.events\n"
              "AA:22 | Recorded French | hid:fr.events:fr\n"
              "AA:23 | Not an input device | hid:/dev/null\n"
              "AA:24 | Unknown layout | keys:dvorak\n");
    const std::string barcode =
        "01046<GS>10ABC-1 \u00dcn\u00ef\u00eb \u00ea \u041d\u0430\u043a\u043b\u0430\u0434\u043d\u0430\u044f "
        "\u21161";
    std::string script;
    for (const char* address : {"AA:11", "AA:12", "AA:13"}) {
        script += std::string("set BluetoothDevice ") + address + "\nopen\nscan \"" + barcode + "\"\nclose\n";
    }
    // A wait counts the events no earlier wait took: the three scans' too.
    script += "set BluetoothDevice AA:21\nopen\nwait 4 events\nclose\n";
    script += "set BluetoothDevice AA:22\nopen\nwait 1 events\nclose\n";
    script += "set BluetoothDevice AA:23\nexpect-failure open\nerror\n";
    ConsoleProcess console({"--devices", dir.file("devices.conf"), "-"});
    console.send(script);
    EXPECT_EQ(0, console.finish());
    EXPECT_TRUE(appearInOrder(
        console.output(), {"line 7: the keyboard layout 'dvorak' of 'keys:dvorak' is none of us, fr, de, ru",
                           eventWith(barcode), eventWith(barcode), eventWith(barcode),
                           eventWith("4006<GS>Ab"), eventWith("HA1\u00e9\u00ea"),
                           "cannot open the input device /dev/null: it is no input event device"}))
        << console.output();
}

// The emulated LE scanners send through the peer's own reassembly and TIO flow control: a barcode
// over several notifications, one beyond the scanner's credits, one in a code page, and a link
// that drops mid-barcode (its fragment is dropped, the peer connects again by itself).
TEST(ConsoleDevices, BluetoothLeScannersAreReassembledFlowControlledAndReconnected) {
    TempDir dir;
    dir.write("devices.conf",
              "AA:01 | LE Nordic | le:nordic\n"
              "AA:02 | LE TIO | le:tio\n"
              "AA:03 | LE Microchip | le:microchip:100 | codepage=windows-1251\n"
              "AA:04 | LE FFE0 | le:ffe0:517\n"
              "AA:09 | Zigbee | le:zigbee\n"
              "AA:10 | Large MTU | le:ffe0:600\n");
    const std::string gs1 = "0104601234567893<GS>10LOT-42 Tr\u00e8s long lot";
    // 1,300 bytes and a CR at 20 bytes a notification: 66 notifications, 2 beyond the 64 credits.
    const std::string longBarcode(1300, 'T');
    const std::string cyrillic = "\u041d\u0430\u043a\u043b\u0430\u0434\u043d\u0430\u044f \u21161";
    ConsoleProcess console({"--devices", dir.file("devices.conf"), "-"});
    // A test of another LE scanner meanwhile connects and lets go: scans still reach the open one.
    console.send("set BluetoothDevice AA:01\nopen\nscan \"" + gs1 +
                 "\"\nset BluetoothDevice AA:04\ntest\ndrop PARTIAL-\nscan AFTER\nclose\n" +
                 "set BluetoothDevice AA:02\nopen\nscan " + longBarcode + "\nclose\n" +
                 "set BluetoothDevice AA:03\nopen\nscan \"" + cyrillic + "\"\nclose\n" +
                 "set BluetoothDevice AA:04\nopen\nscan " + longBarcode + "\nclose\nexpect-failure drop");
    EXPECT_EQ(0, console.finish());
    EXPECT_TRUE(appearInOrder(
        console.output(),
        {"line 5: 'le:zigbee' names no emulated Bluetooth LE scanner",
         "line 6: the MTU of 'le:ffe0:600' is not a number from 23 to 517",
         "le: scanner 'LE Nordic' (AA:01): 41 bytes in 3 notifications of at most 20 bytes (MTU 23)",
         eventWith(gs1),
         "le: scanner 'LE Nordic' (AA:01): 8 bytes in 1 notification of at most 20 bytes (MTU 23), then the "
         "link dropped",
         "lost: scanner 'LE Nordic' (AA:01): the Bluetooth LE link was lost: the scanner stopped answering "
         "(supervision "
         "timeout)",
         "the 8 bytes received after the last line end were no whole barcode and were dropped",
         "reconnected: scanner 'LE Nordic' (AA:01): attempt 1 connected", eventWith("AFTER"),
         "le: scanner 'LE TIO' (AA:02): 1301 bytes in 66 notifications of at most 20 bytes (MTU 23), 2 held "
         "back "
         "until the peer grants TIO credits",
         "the peer granted 64 TIO credits; 2 notifications held back are sent", eventWith(longBarcode),
         // 12 characters and a CR, one byte each in Windows-1251 (in UTF-8 they would be 23 bytes).
         "le: scanner 'LE Microchip' (AA:03): 13 bytes in 1 notification of at most 97 bytes (MTU 100)",
         eventWith(cyrillic),
         // The scanner agrees to 517, the peer asks for 247.
         "le: scanner 'LE FFE0' (AA:04): 1301 bytes in 6 notifications of at most 244 bytes (MTU 247)",
         eventWith(longBarcode), "drop: no emulated Bluetooth LE scanner is open"}))
        << console.output();
    EXPECT_EQ(std::string::npos, console.output().find("PARTIAL-AFTER"))
        << "the fragment cut by the drop was kept";
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
    EXPECT_EQ(std::string::npos, console.output().find("] lost:")) << "a device closed is no link lost";

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
