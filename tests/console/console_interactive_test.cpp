// The interactive console in a real terminal: tmux runs it in a pseudo-terminal, the test types
// with send-keys and reads the screen with capture-pane.
#include "tests/console/console_process.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

using consoletest::TempDir;

namespace {

std::string run(const std::string& command) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return output;
    }
    char buffer[4096];
    size_t count;
    while ((count = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        output.append(buffer, count);
    }
    pclose(pipe);
    return output;
}

// One tmux server of our own (its own socket), killed when the test ends. The console runs with
// `home` as its home folder, where it keeps its history. The pane stays when the console ends,
// so that what it printed last can be read.
class Terminal {
public:
    Terminal(const std::string& command, const std::string& home, const std::string& name = "console")
        : m_tmux("tmux -L kestra-console-test-" + std::to_string(getpid()) + "-" + name + " -f /dev/null") {
        // exec: no shell stays between tmux and the console to take Ctrl-C for itself.
        run(m_tmux + " new-session -d -s console -x 200 -y 60 \"exec env TERM=xterm HOME=" + home + " " +
            command + "\" \\; set-option -t console remain-on-exit on");
    }
    ~Terminal() { run(m_tmux + " kill-server 2>/dev/null"); }

    // Types text as it stands, then Enter.
    void type(const std::string& text) {
        typeOnly(text);
        keys("Enter");
    }
    void typeOnly(const std::string& text) { run(m_tmux + " send-keys -t console -l '" + text + "'"); }
    // Keys by tmux's names: Enter, Up, Tab, C-c...
    void keys(const std::string& names) { run(m_tmux + " send-keys -t console " + names); }
    std::string screen() { return run(m_tmux + " capture-pane -p -J -t console -S -500 2>/dev/null"); }
    bool running() { return paneInfo("pane_dead") == "0"; }

    // Waits until the screen holds `text` and, if asked, its last line is `lastLine` (the prompt
    // with what is typed after it).
    bool shows(const std::string& text, const std::string& lastLine = "") {
        for (int attempt = 0; attempt < 600; ++attempt) {
            std::string now = screen();
            size_t end = now.find_last_not_of(" \n");
            std::string last = end == std::string::npos ? "" : now.substr(0, end + 1);
            last = last.substr(last.find_last_of('\n') + 1);
            if (now.find(text) != std::string::npos && (lastLine.empty() || last == lastLine)) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }
    bool showsWithPrompt(const std::string& text) { return shows(text, "scanner>"); }

    // Waits until the line typed last has been taken: the cursor stands at the start of the next
    // line, where the command's output will go.
    bool tookTheLine() {
        return eventually([&] { return paneInfo("cursor_x") == "0"; });
    }

    bool ends() {
        return eventually([&] { return !running(); });
    }
    bool quits() {
        type("quit");
        return ends();
    }

private:
    std::string paneInfo(const std::string& name) {
        std::string value = run(m_tmux + " display-message -p -t console '#{" + name + "}' 2>/dev/null");
        return value.substr(0, value.find('\n'));
    }
    template <typename Condition>
    bool eventually(Condition condition) {
        for (int attempt = 0; attempt < 600; ++attempt) {
            if (condition()) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    std::string m_tmux;
};

std::string consoleWith(const std::string& arguments) {
    std::string command;
    for (const std::string& word : consoletest::consoleCommand()) {
        command += word + " ";
    }
    return command + arguments;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(ConsoleInteractive, EditsCompletesAndKeepsTheTypedLineWhileEventsArrive) {
    ASSERT_EQ(0, system("tmux -V >/dev/null 2>&1")) << "tmux is needed (scripts/install-deps.sh installs it)";
    TempDir dir;
    int port = consoletest::freeLoopbackPort();
    dir.write("devices.conf", "AA:01 | Serial | tcp:" + std::to_string(port) + "\n");
    std::string command = consoleWith("--devices " + dir.file("devices.conf"));
    {
        Terminal terminal(command, dir.path());
        ASSERT_TRUE(terminal.showsWithPrompt("type help for the commands")) << terminal.screen();
        terminal.type("version");
        EXPECT_TRUE(terminal.showsWithPrompt("GetVersion: call true, value string \"1.0.2.1\""))
            << terminal.screen();
        terminal.type("frobnicate");
        EXPECT_TRUE(terminal.showsWithPrompt("unknown command 'frobnicate'; type help for the list"))
            << terminal.screen();

        // Tab completes the parameter name and the device address the last parameters listed
        // (whatever the case typed, as addresses are compared).
        terminal.type("parameters");
        ASSERT_TRUE(terminal.showsWithPrompt("devices to choose from")) << terminal.screen();
        terminal.typeOnly("set Blue");
        terminal.keys("Tab");
        terminal.typeOnly("aa");
        terminal.keys("Tab");
        terminal.keys("Enter");
        EXPECT_TRUE(terminal.showsWithPrompt("scanner> set BluetoothDevice AA:01")) << terminal.screen();
        terminal.type("open");
        ASSERT_TRUE(terminal.showsWithPrompt("Open: call true, value bool true")) << terminal.screen();

        // A barcode comes while a command is half typed: the event prints above the line, the
        // typed text stays, and the command runs as typed (completed with Tab here).
        terminal.typeOnly("call GetDesc");
        ASSERT_TRUE(terminal.shows("scanner> call GetDesc", "scanner> call GetDesc")) << terminal.screen();
        int client = consoletest::connectLoopback(port);
        ASSERT_GE(client, 0);
        const char barcode[] =
            "0104601234567893\x1d"
            "10LOT\n";
        ASSERT_EQ(static_cast<ssize_t>(sizeof barcode - 1), send(client, barcode, sizeof barcode - 1, 0));
        EXPECT_TRUE(
            terminal.shows("event: source \"MobileScannerDevice\", message \"Штрихкод\", data "
                           "\"0104601234567893<GS>10LOT\"",
                           "scanner> call GetDesc"))
            << terminal.screen();
        close(client);
        terminal.keys("Tab");
        terminal.keys("Enter");
        EXPECT_TRUE(terminal.showsWithPrompt("GetDescription: call true, value bool true"))
            << terminal.screen();
        EXPECT_TRUE(terminal.quits()) << "quit ends the console";
    }
    {
        // The next run has the history of the last one: up twice passes quit and recalls the call.
        // With --russian, method names complete in Russian.
        Terminal terminal(command + " --russian", dir.path());
        ASSERT_TRUE(terminal.showsWithPrompt("type help for the commands")) << terminal.screen();
        terminal.keys("Up");
        terminal.keys("Up");
        EXPECT_TRUE(terminal.shows("", "scanner> call GetDescription")) << terminal.screen();
        terminal.keys("Enter");
        EXPECT_TRUE(terminal.showsWithPrompt("GetDescription: call true, value bool true"))
            << terminal.screen();
        terminal.typeOnly("call ПолучитьНомер");
        terminal.keys("Tab");
        terminal.keys("Enter");
        EXPECT_TRUE(terminal.showsWithPrompt("ПолучитьНомерВерсии: call true, value string \"1.0.2.1\""))
            << terminal.screen();
        EXPECT_TRUE(terminal.quits());
    }
}

TEST(ConsoleInteractive, CtrlCDropsTheTypedLineOrStopsTheWaitAndAtAnEmptyPromptLeavesClosingTheDevice) {
    TempDir dir;
    int port = consoletest::freeLoopbackPort();
    dir.write("devices.conf", "AA:01 | Serial | tcp:" + std::to_string(port) + "\n");
    Terminal terminal(consoleWith("--log --devices " + dir.file("devices.conf")), dir.path());
    ASSERT_TRUE(terminal.showsWithPrompt("type help for the commands")) << terminal.screen();
    terminal.type("set BluetoothDevice AA:01");
    terminal.type("open");
    ASSERT_TRUE(terminal.showsWithPrompt("Open: call true, value bool true")) << terminal.screen();

    terminal.typeOnly("frobnicate half");
    ASSERT_TRUE(terminal.shows("", "scanner> frobnicate half")) << terminal.screen();
    terminal.keys("C-c");
    EXPECT_TRUE(terminal.shows("scanner> frobnicate half^C", "scanner>")) << terminal.screen();
    terminal.type("version");
    EXPECT_TRUE(terminal.showsWithPrompt("GetVersion: call true")) << terminal.screen();
    EXPECT_EQ(std::string::npos, terminal.screen().find("unknown command")) << "the dropped line never ran";

    terminal.type("wait 1 events 600");
    ASSERT_TRUE(terminal.tookTheLine()) << terminal.screen();
    terminal.keys("C-c");
    EXPECT_TRUE(terminal.showsWithPrompt("wait: cancelled (Ctrl-C); 0 of 1 events had arrived"))
        << terminal.screen();
    ASSERT_TRUE(terminal.running()) << terminal.screen();

    // At the empty prompt Ctrl-C leaves, and the console closes the device on its way out.
    terminal.keys("C-c");
    EXPECT_TRUE(terminal.ends()) << terminal.screen();
    EXPECT_NE(std::string::npos, terminal.screen().find("Scanner scanner 'Serial' (AA:01) closed"))
        << terminal.screen();
}

TEST(ConsoleInteractive, TwoConsolesAtOnceEachAppendTheirLinesToTheHistory) {
    TempDir dir;
    dir.write(".kestra_console_history", "from an earlier run\n");
    std::string command = consoleWith("--devices " + consoletest::consoleSourceDir() + "/devices.conf");
    Terminal first(command, dir.path(), "first");
    Terminal second(command, dir.path(), "second");
    ASSERT_TRUE(first.showsWithPrompt("type help for the commands")) << first.screen();
    ASSERT_TRUE(second.showsWithPrompt("type help for the commands")) << second.screen();
    first.type("version");
    ASSERT_TRUE(first.showsWithPrompt("GetVersion: call true")) << first.screen();
    second.type("description");
    ASSERT_TRUE(second.showsWithPrompt("GetDescription: call true")) << second.screen();
    first.type("actions");
    ASSERT_TRUE(first.showsWithPrompt("GetAdditionalActions: call true")) << first.screen();
    EXPECT_TRUE(second.quits());
    EXPECT_TRUE(first.quits());
    EXPECT_EQ("from an earlier run\nversion\ndescription\nactions\nquit\nquit\n",
              readFile(dir.file(".kestra_console_history")));
}
