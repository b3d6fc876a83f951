// The console in script mode, against the shipped library: the demo, method names, and how a
// script reports a failed step.
#include "tests/console/console_process.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>

using consoletest::appearInOrder;
using consoletest::ConsoleProcess;
using consoletest::consoleSourceDir;
using consoletest::TempDir;

namespace {

std::string eventWith(const std::string& data) {
    return "event: source \"MobileScannerDevice\", message \"Штрихкод\", data \"" + data + "\"";
}

void expectNoJniReport(const std::string& output) {
    EXPECT_EQ(std::string::npos, output.find("WARNING in native method")) << output;
    EXPECT_EQ(std::string::npos, output.find("FATAL ERROR in native method")) << output;
}

// Runs a script given on standard input and returns the exit status.
int runScript(const std::vector<std::string>& args, const std::string& script, std::string& output) {
    ConsoleProcess console(args);
    console.send(script);
    int status = console.finish();
    output = console.output();
    expectNoJniReport(output);
    return status;
}

}  // namespace

TEST(ConsoleDemo, PrintsEverySampleBarcodeAsAnEventInOrderAndExitsZero) {
    ConsoleProcess console({consoleSourceDir() + "/demo.script"});
    int status = console.finish();
    const std::string& output = console.output();
    EXPECT_EQ(0, status) << output;
    EXPECT_TRUE(appearInOrder(output,
                              {
                                  "> description",
                                  "1: string \"Kestra: Сканер штрихкодов мобильный\"",
                                  "> parameters",
                                  "<ChoiceList><Item Value=\"00:1A:7D:DA:71:11\">Emulated scanner: "
                                  "sample barcodes</Item>",
                                  "> set BluetoothDevice 00:1A:7D:DA:71:11",
                                  "SetParameter: call true, value bool true",
                                  "> open",
                              }))
        << output;
    EXPECT_TRUE(appearInOrder(output,
                              {
                                  eventWith("4006381333931"),
                                  eventWith("KESTRA-0001-X"),
                                  eventWith("0104601234567893215ABCDEFGHIJKL<GS>93dGVz<GS>17271231"),
                                  eventWith("Накладная №1234 от 07.12.2026: Склад «Север»"),
                                  "wait: 4 events arrived",
                                  "DeviceTest: call true, value bool true",
                                  "Close: call true, value bool true",
                                  "> set BluetoothDevice 00:1A:7D:DA:71:15",
                                  eventWith("0104601234567893<GS>10LOT-42 Étiquette"),
                                  "Close: call true, value bool true",
                                  "> set BluetoothDevice 00:1A:7D:DA:71:16",
                                  "60 bytes in 3 notifications of at most 20 bytes (MTU 23)",
                                  eventWith("(01)04601234567893(10)LOT-42(17)271231(21)RING-SCANNER-0001"),
                                  "lost: scanner 'Emulated scanner: Bluetooth LE, TIO' (00:1A:7D:DA:71:16)",
                                  "reconnected: scanner 'Emulated scanner: Bluetooth LE, TIO'",
                                  eventWith("4006381333931"),
                                  "Close: call true, value bool true",
                              }))
        << output;
    EXPECT_TRUE(
        appearInOrder(output, {"Open: call true, value bool true", "1: string \"MobileScannerDevice\""}))
        << output;
    expectNoJniReport(output);
}

TEST(ConsoleMethods, AreFoundByTheirEnglishAndTheirRussianNames) {
    std::string output;
    int status =
        runScript({"-"}, "call GetVersion\ncall ПолучитьНомерВерсии\nmethods\ncall ТестУстройства\n", output);
    EXPECT_EQ(1, status) << "DeviceTest without a device answers false, which fails the step";
    EXPECT_TRUE(appearInOrder(output, {"GetVersion: call true, value string \"1.0.2.1\"",
                                       "ПолучитьНомерВерсии: call true, value string \"1.0.2.1\"",
                                       "  4  SetParameter          УстановитьПараметр               2",
                                       "  9  DoAdditionalAction    ВыполнитьДополнительноеДействие  1",
                                       "ТестУстройства: call true, value bool false"}))
        << output;

    status = runScript({"--russian", "-"}, "version\nactions\n", output);
    EXPECT_EQ(0, status) << output;
    EXPECT_TRUE(appearInOrder(output, {"ПолучитьНомерВерсии: call true, value string \"1.0.2.1\"",
                                       "ПолучитьДополнительныеДействия: call true, value bool true"}))
        << output;
}

TEST(ConsoleMethods, ANameTheDriverDoesNotKnowIsReportedAndFailsTheStep) {
    std::string output;
    int status = runScript({"-"}, "call getversion\nversion\n", output);
    EXPECT_EQ(1, status);
    EXPECT_NE(std::string::npos, output.find("FindMethod(\"getversion\") = -1")) << output;
    EXPECT_EQ(std::string::npos, output.find("GetVersion: call"))
        << "the script must stop at the failed step";
}

TEST(ConsoleScript, StopsWithNonZeroStatusAtTheFirstFailedStep) {
    struct Case {
        const char* script;
        const char* message;
    };
    const Case cases[] = {
        {"bogus 1\nversion\n", "unknown command 'bogus'; type help for the list"},
        {"set BluetoothDevice\nversion\n", "usage: set <name> <value>"},
        {"set \"BluetoothDevice 1\nversion\n", "cannot read the command: a double quote is not closed"},
        {"wait 1 events 0.2\nversion\n", "wait: only 0 of 1 events arrived within 0.2 s"},
        {"wait two events\nversion\n", "usage: wait <n> events [seconds]"},
        {"expect-failure version\nversion\n", "expected this step to fail, but it succeeded"},
        // A refusal says why, as far as the driver can tell.
        {"call DoAdditionalAction x\nversion\n",
         "DoAdditionalAction: call false, value empty\n  the driver offers no additional actions "
         "(GetAdditionalActions lists none), so it refuses every one\n  the driver's last error, as "
         "GetLastError tells: no error has occurred"},
        {"set bluetoothdevice x\nversion\n",
         "SetParameter: call true, value bool false\n  the driver takes no parameter 'bluetoothdevice' "
         "(names "
         "are case-sensitive; `parameters` lists them)\n  the driver's last error, as GetLastError tells: "},
        // A step that cannot run is never the failure expected.
        {"expect-failure bogus\nversion\n", "expect-failure: a command that cannot run is not the failure"},
        {"expect-failure set BluetoothDevice\nversion\n", "usage: set <name> <value>"},
        {"expect-failure call SetParameter a b c\nversion\n", "call: SetParameter takes 2 values, 3 given"},
        {"scan 4006381333931\nversion\n", "scan: no emulated scanner is open"},
        // A failed open or test tells why at once.
        {"open\nversion\n",
         "Open: call true, value bool false\n  why, as GetLastError tells: no device chosen"},
        {"test\nversion\n", "why, as GetLastError tells: no device chosen"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        std::string output;
        int status = runScript({"-"}, std::string("# a comment\n\n") + c.script, output);
        EXPECT_EQ(1, status) << output;
        EXPECT_NE(std::string::npos, output.find(c.message)) << output;
        // The step is reported and nothing after it runs.
        size_t report = output.rfind("script: step at line 3 failed\n");
        EXPECT_EQ(output.size() - strlen("script: step at line 3 failed\n"), report) << output;
    }
}

TEST(ConsoleScript, AcceptsQuotedEmptyValuesAndEndsWithStatusZero) {
    std::string output;
    // An editor's byte-order mark before the first command is skipped.
    int status = runScript({"-"},
                           "\xEF\xBB\xBFset BluetoothDevice \"\"\nexpect-failure open\nerror\n"
                           "call ПолучитьОшибку \"an input the call replaces\"\ncall GetLastError\n"
                           "expect-failure call SetParameter BluetoothDevice\nparameters\n"
                           "expect-failure set Foo bar\n"
                           "quit\nversion\n",
                           output);
    EXPECT_EQ(0, status) << output;
    EXPECT_TRUE(appearInOrder(
        output, {"SetParameter: call true, value bool true", "(failed as expected)",
                 "GetLastError: call true, value int 1\n  1: string \"no device chosen",
                 "ПолучитьОшибку: call true, value int 1\n  1: string \"no device chosen",
                 "GetLastError: call true, value int 1\n  1: string \"no device chosen",
                 "call: SetParameter takes 2 values, 1 given; the others are passed empty",
                 "SetParameter: call true, value bool false\n  the driver takes only a text as the value, "
                 "and none was given",
                 "the driver takes no parameter 'Foo' (names are case-sensitive; it takes "
                 "BluetoothDevice)"}))
        << output;
    // The parameter GetLastError writes is no value the caller left out.
    EXPECT_EQ(std::string::npos, output.find("call: GetLastError takes")) << output;
    EXPECT_EQ(std::string::npos, output.find("string \"an input the call replaces"))
        << "only the written record shows";
    EXPECT_EQ(std::string::npos, output.find("GetVersion")) << "quit ends the script";
}

TEST(ConsoleLog, ShowsTheDriversLogLinesAmongTheOutput) {
    std::string output;
    int status = runScript({"--log", "-"}, "version\n", output);
    EXPECT_EQ(0, status) << output;
    EXPECT_TRUE(appearInOrder(output, {"[log I MobileBarcodeScannerNative] GetClassObject", "> version"}))
        << output;

    status = runScript({"-"}, "version\n", output);
    EXPECT_EQ(std::string::npos, output.find("MobileBarcodeScannerNative"))
        << "without --log the log stays quiet";
}

TEST(ConsoleStart, RefusesWhatItCannotUseWithStatusTwo) {
    TempDir dir;
    ASSERT_EQ(0, mkdir(dir.file("empty").c_str(), 0700));
    // The start of a library of the other word size: its ELF class and machine.
    std::string foreign =
        "\x7f"
        "ELF";
    foreign += sizeof(void*) == 4 ? "\x02\x01\x01" : "\x01\x01\x01";
    foreign += std::string(9, '\0') + "\x03" + '\0';
    foreign += sizeof(void*) == 4 ? std::string("\x3e") + '\0' : std::string("\x03") + '\0';
    foreign += std::string(64, '\0');
    dir.write("foreign.so", foreign);
    dir.write("text.so", "not a library at all, but long enough to hold an ELF header\n");
    std::string consoleMachine = sizeof(void*) == 4 ? "32-bit" : "64-bit";
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const Case cases[] = {
        {{"--library", dir.file("missing.so"), "-"},
         "cannot read the library " + dir.file("missing.so") + ": No such file or directory"},
        {{"--library", dir.file("foreign.so"), "-"},
         "the library " + dir.file("foreign.so") + " is built for " +
             (sizeof(void*) == 4 ? "64-bit x86-64" : "32-bit x86") + "; this console is " + consoleMachine},
        {{"--library", dir.file("text.so"), "-"},
         "the library " + dir.file("text.so") + " is no shared library (it has no ELF header)"},
        {{"--frobnicate"}, "unknown argument '--frobnicate'"},
        {{"--library"}, "--library needs a value"},
        {{"--devices", dir.file("missing.conf"), "-"},
         "the devices file " + dir.file("missing.conf") + " does not exist"},
        {{"--classes", dir.file("empty"), "-"},
         "the folder " + dir.file("empty") + " does not hold the console's Java classes"},
        {{dir.file("empty")}, "cannot run the script " + dir.file("empty") + ": it is a folder"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        std::string output;
        EXPECT_EQ(2, runScript(c.args, "version\n", output)) << output;
        // Said first, before anything of the VM's, in the console's own words.
        EXPECT_EQ(0u, output.find("kestra-console: " + c.message)) << output;
        EXPECT_EQ(std::string::npos, output.find("GetVersion")) << output;
    }
}
