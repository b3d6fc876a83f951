// The interactive console in a real terminal: tmux runs it in a pseudo-terminal, the test types
// with send-keys and reads the screen with capture-pane.
#include "tests/console/console_process.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
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

// One tmux server of our own (its own socket), killed when the test ends.
class Terminal {
public:
    explicit Terminal(const std::string& command)
        : m_tmux("tmux -L kestra-console-test-" + std::to_string(getpid()) + " -f /dev/null") {
        run(m_tmux + " new-session -d -s console -x 200 -y 60 \"env TERM=xterm " + command + "\"");
    }
    ~Terminal() { run(m_tmux + " kill-server 2>/dev/null"); }

    void type(const std::string& text) {
        run(m_tmux + " send-keys -t console -l '" + text + "'");
        run(m_tmux + " send-keys -t console Enter");
    }
    std::string screen() { return run(m_tmux + " capture-pane -p -J -t console -S -500 2>/dev/null"); }
    bool running() { return system((m_tmux + " has-session -t console 2>/dev/null").c_str()) == 0; }

    // Waits until the screen holds `text` (and, if asked, ends with the prompt).
    bool shows(const std::string& text, bool endsWithPrompt = false) {
        for (int attempt = 0; attempt < 600; ++attempt) {
            std::string now = screen();
            size_t end = now.find_last_not_of(" \n");
            std::string last = end == std::string::npos ? "" : now.substr(0, end + 1);
            last = last.substr(last.find_last_of('\n') + 1);
            if (now.find(text) != std::string::npos && (!endsWithPrompt || last == "scanner>")) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

private:
    std::string m_tmux;
};

}  // namespace

TEST(ConsoleInteractive, PromptsRunsCommandsAndPrintsEventsWhileThePromptWaits) {
    ASSERT_EQ(0, system("tmux -V >/dev/null 2>&1")) << "tmux is needed (scripts/install-deps.sh installs it)";
    TempDir dir;
    int port = consoletest::freeLoopbackPort();
    dir.write("devices.conf", "AA:01 | Serial | tcp:" + std::to_string(port) + "\n");
    Terminal terminal(consoletest::consoleBinary() + " --devices " + dir.file("devices.conf"));

    ASSERT_TRUE(terminal.shows("type help for the commands", true)) << terminal.screen();
    terminal.type("version");
    EXPECT_TRUE(terminal.shows("GetVersion: call true, value string \"1.0.2.1\"", true)) << terminal.screen();
    terminal.type("frobnicate");
    EXPECT_TRUE(terminal.shows("unknown command 'frobnicate'; type help for the list", true))
        << terminal.screen();
    terminal.type("set BluetoothDevice AA:01");
    terminal.type("open");
    ASSERT_TRUE(terminal.shows("Open: call true, value bool true", true)) << terminal.screen();

    // The prompt is waiting for a command when the barcode comes: the event is printed at once
    // and the prompt drawn again below it.
    int client = consoletest::connectLoopback(port);
    ASSERT_GE(client, 0);
    const char barcode[] =
        "0104601234567893\x1d"
        "10LOT\n";
    ASSERT_EQ(static_cast<ssize_t>(sizeof barcode - 1), send(client, barcode, sizeof barcode - 1, 0));
    EXPECT_TRUE(
        terminal.shows("event: source \"MobileScannerDevice\", message \"Штрихкод\", data "
                       "\"0104601234567893<GS>10LOT\"",
                       true))
        << terminal.screen();
    close(client);

    terminal.type("quit");
    for (int attempt = 0; attempt < 600 && terminal.running(); ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_FALSE(terminal.running()) << "quit ends the console";
}
