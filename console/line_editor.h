// The interactive mode's command line, on GNU readline: editing and arrow keys, a history kept
// in a file between runs (each console appends its own lines), tab completion, Ctrl-C, and lines
// from other threads (events, log records) printed above the line being typed without losing
// what is typed.
#pragma once

#include "console/interrupt.h"

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace console {

class LineEditor {
public:
    // The words that may follow `before` (the complete words left of the cursor), and whether
    // they are matched without regard to case (device addresses are).
    struct Completions {
        std::vector<std::string> words;
        bool ignoreCase = false;
    };
    using Completer = std::function<Completions(const std::vector<std::string>& before)>;

    // input: the terminal the commands are typed on. historyFile: read now, each command appended
    // to it; empty for no history file. interrupts: notified at each Ctrl-C, or null.
    LineEditor(FILE* input, const std::string& prompt, const std::string& historyFile, Completer completer,
               WakePipe* interrupts = nullptr);
    ~LineEditor();
    LineEditor(const LineEditor&) = delete;
    LineEditor& operator=(const LineEditor&) = delete;

    // Shows the prompt and waits for one line. Ctrl-C drops a half-typed line and prompts again.
    // Returns false at the end of input (Ctrl-D) and for Ctrl-C at an empty prompt.
    bool readLine(std::string& line);

private:
    void remember(const std::string& line);

    int m_input;
    std::string m_prompt;
    std::string m_historyFile;
    WakePipe* m_interrupts;
    WakePipe m_wake;  // output from other threads waits to be printed
};

// Where the history lives: ~/.kestra_console_history, or empty without a home folder.
std::string defaultHistoryFile();

}  // namespace console
