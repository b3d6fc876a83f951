// The console's one way to write to its standard output. Results, external events and log
// lines come from different threads; each goes out whole. While the line editor waits for a
// command, lines from other threads go out through it, above the line being typed.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace console {

class Output {
public:
    // One line (or several, separated by '\n') of command output.
    void line(const std::string& text);

    // A line that can arrive at any moment from any thread: an event or a log record.
    void asyncLine(const std::string& text);

    // While the line editor waits for input it owns the terminal's last line: lines from other
    // threads wait, and a byte written to `wakeFd` tells the editor to print them.
    void beginEditing(int wakeFd);
    // Prints the waiting lines between clear() and redraw() (which erase and draw again the
    // line being typed); does nothing when none wait.
    void printWaiting(const std::function<void()>& clear, const std::function<void()>& redraw);
    // Ends editing; lines still waiting go out at once.
    void endEditing();

private:
    void write(const std::string& text);

    std::mutex m_mutex;
    bool m_editing = false;
    int m_wakeFd = -1;
    std::vector<std::string> m_waiting;
};

Output& output();

// The local time of day as HH:MM:SS.mmm.
std::string timeOfDay();

}  // namespace console
