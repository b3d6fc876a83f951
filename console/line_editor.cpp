#include "console/line_editor.h"

#include "console/output.h"
#include "console/text.h"

// readline.h needs stdio.h first.
#include <cstdio>

#include <poll.h>
#include <pwd.h>
#include <readline/history.h>
#include <readline/readline.h>
#include <strings.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace console {
namespace {

const int kHistoryLines = 1000;

// readline calls plain functions; there is one editor per process.
LineEditor::Completer completer;
std::vector<std::string> candidates;
bool candidatesIgnoreCase = false;
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
        if (candidatesIgnoreCase ? strncasecmp(candidate.c_str(), text, length) == 0
                                 : candidate.compare(0, length, text) == 0) {
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
    LineEditor::Completions found = completer(before);
    candidates = std::move(found.words);
    candidatesIgnoreCase = found.ignoreCase;
    // Readline then also finds the common part without regard to case, and writes the match's.
    rl_variable_bind("completion-ignore-case", candidatesIgnoreCase ? "on" : "off");
    return rl_completion_matches(text, nextCandidate);
}

// Drops the half-typed line as a shell does: ^C after it, and a fresh prompt below.
void cancelLine() {
    rl_callback_sigcleanup();  // leaves an incremental search, say
    rl_free_line_state();
    rl_point = rl_end;
    rl_redisplay();
    fputs("^C", rl_outstream);
    rl_crlf();
    rl_replace_line("", 1);
    using_history();  // back from wherever Up had gone
    rl_on_new_line();
    rl_redisplay();
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
                       Completer complete, WakePipe* interrupts)
    : m_input(fileno(input)), m_prompt(prompt), m_historyFile(historyFile), m_interrupts(interrupts) {
    completer = std::move(complete);
    rl_readline_name = "kestra-console";
    rl_instream = input;
    rl_outstream = stdout;
    // The Java VM watches its own signal handlers (SIGTERM, SIGHUP, SIGQUIT...) and warns when
    // one changes: readline keeps its hands off them, and the terminal is restored at exit
    // instead. Ctrl-C comes through `interrupts`. SIGWINCH is not the VM's, and tells readline
    // the window's new width.
    rl_catch_signals = 0;
    rl_catch_sigwinch = 1;
    rl_attempted_completion_function = console::complete;
    rl_completer_word_break_characters = const_cast<char*>(" \t");
    terminal = m_input;
    if (tcgetattr(terminal, &terminalAtStart) == 0) {
        terminalSaved = true;
        atexit(restoreTerminal);
    }
    stifle_history(kHistoryLines);
    if (!m_historyFile.empty()) {
        read_history(m_historyFile.c_str());
    }
}

LineEditor::~LineEditor() {
    restoreTerminal();
}

bool LineEditor::readLine(std::string& line) {
    lineDone = false;
    // A Ctrl-C typed while a command ran has been dealt with (or was not meant for the prompt).
    if (m_interrupts != nullptr) {
        m_interrupts->drain();
    }
    output().beginEditing(m_wake.writeEnd());
    rl_callback_handler_install(m_prompt.c_str(), onLine);
    waitingForLine = true;
    while (!lineDone) {
        pollfd ready[3] = {{m_input, POLLIN, 0},
                           {m_wake.readEnd(), POLLIN, 0},
                           {m_interrupts != nullptr ? m_interrupts->readEnd() : -1, POLLIN, 0}};
        if (poll(ready, 3, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            rl_callback_handler_remove();
            inputEnded = true;
            break;
        }
        if (ready[1].revents & POLLIN) {
            m_wake.drain();
            output().printWaiting([] { rl_clear_visible_line(); }, [] { rl_forced_update_display(); });
        }
        if (ready[2].revents & POLLIN) {
            m_interrupts->drain();
            if (rl_end > 0) {
                cancelLine();
                continue;
            }
            // At an empty prompt Ctrl-C leaves, as the end of input does.
            rl_callback_handler_remove();
            inputEnded = true;
            break;
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
    remember(line);
    return true;
}

// Appends the line to the history file rather than writing the whole history out, so that two
// consoles at once each add their own lines and neither loses the other's.
void LineEditor::remember(const std::string& line) {
    if (line.find_first_not_of(" \t") == std::string::npos) {
        return;
    }
    const HIST_ENTRY* last = history_length > 0 ? history_get(history_base + history_length - 1) : nullptr;
    if (last != nullptr && line == last->line) {
        return;
    }
    add_history(line.c_str());
    if (m_historyFile.empty()) {
        return;
    }
    // append_history does not create the file.
    if (append_history(1, m_historyFile.c_str()) != 0) {
        write_history(m_historyFile.c_str());
    }
    history_truncate_file(m_historyFile.c_str(), kHistoryLines);
}

}  // namespace console
