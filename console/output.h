// The console's one way to write to its standard output. Results, external events and log
// lines come from different threads; each goes out whole, and an event that arrives while the
// prompt waits is printed above a fresh prompt.
#pragma once

#include <mutex>
#include <string>

namespace console {

class Output {
public:
    // Whether a prompt is shown, and whether standard output is a terminal (then the waiting
    // prompt line is erased before an event and drawn again after it).
    void configure(const std::string& prompt, bool terminal);

    // One line (or several, separated by '\n') of command output.
    void line(const std::string& text);

    // A line that can arrive at any moment from any thread: an event or a log record.
    void asyncLine(const std::string& text);

    // Shows the prompt; asyncLine redraws it until answered() is called.
    void showPrompt();
    void answered();

private:
    void write(const std::string& text);

    std::mutex m_mutex;
    std::string m_prompt;
    bool m_terminal = false;
    bool m_promptShown = false;
};

Output& output();

// The local time of day as HH:MM:SS.mmm.
std::string timeOfDay();

}  // namespace console
