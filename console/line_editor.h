// The interactive mode's command line, on GNU readline: editing and arrow keys, a history kept
// in a file between runs, tab completion, and lines from other threads (events, log records)
// printed above the line being typed without losing what is typed.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace console {

class LineEditor {
public:
    // The words that may follow `before` (the complete words left of the cursor).
    using Completer = std::function<std::vector<std::string>(const std::vector<std::string>& before)>;

    // input: the terminal the commands are typed on. historyFile: read now, written after every
    // command; empty for no history file.
    LineEditor(FILE* input, const std::string& prompt, const std::string& historyFile, Completer completer);
    ~LineEditor();
    LineEditor(const LineEditor&) = delete;
    LineEditor& operator=(const LineEditor&) = delete;

    // Shows the prompt and waits for one line. Returns false at the end of input (Ctrl-D).
    bool readLine(std::string& line);

private:
    int m_input;
    std::string m_prompt;
    std::string m_historyFile;
    int m_wake[2] = {-1, -1};
};

// Where the history lives: ~/.kestra_console_history, or empty without a home folder.
std::string defaultHistoryFile();

}  // namespace console
