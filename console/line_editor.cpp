#include "console/line_editor.h"

#include "console/output.h"
#include "console/text.h"

// readline.h needs stdio.h first.
#include <cstdio>

#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <readline/history.h>
#include <readline/readline.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace console {
namespace {

// readline calls plain functions; there is one editor per process.
LineEditor::Completer completer;
std::vector<std::string> candidates;
bool lineDone = false;
bool inputEnded = false;
std::string typedLine;

int terminal = -1;
termios terminalAtStart{};
bool terminalSaved = false;
std::atomic<bool> waitingForLine{false};

// The Java VM ends the process on Ctrl-C while readline has the terminal in its own mode; the
// terminal must not stay without echo, and the shell's prompt belongs on a line of its own.
void restoreTerminal() {
    if (terminalSaved) {
        tcsetattr(terminal, TCSANOW, &terminalAtStart);
    }
    if (waitingForLine) {
        waitingForLine = false;
        fputc('\n', stdout);
        fflush(stdout);
    }
}

void onLine(char* line) {
    rl_callback_handler_remove();
    lineDone = true;
    inputEnded = line == nullptr;
    typedLine = line != nullptr ? line : "";
    free(line);
}

char* nextCandidate(const char* text, int state) {
    static size_t next;
    if (state == 0) {
        next = 0;
    }
    size_t length = strlen(text);
    while (next < candidates.size()) {
        const std::string& candidate = candidates[next++];
        if (candidate.compare(0, length, text) == 0) {
            return strdup(candidate.c_str());
        }
    }
    return nullptr;
}

char** complete(const char* text, int start, int) {
    rl_attempted_completion_over = 1;  // no file names in place of commands
    std::vector<std::string> before;
    std::string problem;
    if (!completer || !splitWords(std::string(rl_line_buffer, static_cast<size_t>(start)), before, problem)) {
        return nullptr;
    }
    candidates = completer(before);
    return rl_completion_matches(text, nextCandidate);
}

}  // namespace

std::string defaultHistoryFile() {
    const char* home = getenv("HOME");
    if (home == nullptr || *home == '\0') {
        const passwd* user = getpwuid(getuid());
        home = user != nullptr ? user->pw_dir : nullptr;
    }
    return home != nullptr && *home != '\0' ? std::string(home) + "/.kestra_console_history" : std::string();
}

LineEditor::LineEditor(FILE* input, const std::string& prompt, const std::string& historyFile,
                       Completer complete)
    : m_input(fileno(input)), m_prompt(prompt), m_historyFile(historyFile) {
    completer = std::move(complete);
    rl_readline_name = "kestra-console";
    rl_instream = input;
    rl_outstream = stdout;
    // The Java VM watches its own signal handlers (SIGINT, SIGTERM, SIGHUP, SIGQUIT...) and
    // warns when one changes: readline keeps its hands off them, and the terminal is restored
    // at exit instead. SIGWINCH is not the VM's, and tells readline the window's new width.
    rl_catch_signals = 0;
    rl_catch_sigwinch = 1;
    rl_attempted_completion_function = console::complete;
    rl_completer_word_break_characters = const_cast<char*>(" \t");
    terminal = m_input;
    if (tcgetattr(terminal, &terminalAtStart) == 0) {
        terminalSaved = true;
        atexit(restoreTerminal);
    }
    stifle_history(1000);
    if (!m_historyFile.empty()) {
        read_history(m_historyFile.c_str());
    }
    if (pipe(m_wake) == 0) {
        fcntl(m_wake[0], F_SETFL, O_NONBLOCK);
        fcntl(m_wake[1], F_SETFL, O_NONBLOCK);
        fcntl(m_wake[0], F_SETFD, FD_CLOEXEC);
        fcntl(m_wake[1], F_SETFD, FD_CLOEXEC);
    }
}

LineEditor::~LineEditor() {
    restoreTerminal();
    close(m_wake[0]);
    close(m_wake[1]);
}

bool LineEditor::readLine(std::string& line) {
    lineDone = false;
    output().beginEditing(m_wake[1]);
    rl_callback_handler_install(m_prompt.c_str(), onLine);
    waitingForLine = true;
    while (!lineDone) {
        pollfd ready[2] = {{m_input, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        if (poll(ready, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            rl_callback_handler_remove();
            inputEnded = true;
            break;
        }
        if (ready[1].revents & POLLIN) {
            char drained[64];
            while (read(m_wake[0], drained, sizeof drained) > 0) {
            }
            output().printWaiting([] { rl_clear_visible_line(); }, [] { rl_forced_update_display(); });
        }
        if (ready[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            rl_callback_read_char();
        }
    }
    waitingForLine = false;
    output().endEditing();
    if (inputEnded) {
        fputc('\n', stdout);
        return false;
    }
    line = typedLine;
    size_t first = line.find_first_not_of(" \t");
    if (first != std::string::npos) {
        const HIST_ENTRY* last =
            history_length > 0 ? history_get(history_base + history_length - 1) : nullptr;
        if (last == nullptr || line != last->line) {
            add_history(line.c_str());
            if (!m_historyFile.empty()) {
                write_history(m_historyFile.c_str());
            }
        }
    }
    return true;
}

}  // namespace console
