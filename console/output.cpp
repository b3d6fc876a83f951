#include "console/output.h"

#include <sys/time.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

namespace console {

void Output::configure(const std::string& prompt, bool terminal) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_prompt = prompt;
    m_terminal = terminal;
}

void Output::write(const std::string& text) {
    fwrite(text.data(), 1, text.size(), stdout);
    fflush(stdout);
}

void Output::line(const std::string& text) {
    std::lock_guard<std::mutex> lock(m_mutex);
    write(text + "\n");
}

void Output::asyncLine(const std::string& text) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_promptShown) {
        write(text + "\n");
        return;
    }
    // Erase the prompt line (what the user has typed so far stays in the terminal's input
    // buffer), print the line, and show the prompt again below it.
    write((m_terminal ? "\r\033[K" : "\n") + text + "\n" + m_prompt);
}

void Output::showPrompt() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_promptShown = true;
    write(m_prompt);
}

void Output::answered() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_promptShown = false;
}

Output& output() {
    static Output instance;
    return instance;
}

std::string timeOfDay() {
    timeval now{};
    gettimeofday(&now, nullptr);
    time_t seconds = now.tv_sec;
    tm local{};
    localtime_r(&seconds, &local);
    char text[32];
    snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec,
             static_cast<int>(now.tv_usec / 1000));
    return text;
}

}  // namespace console
