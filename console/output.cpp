#include "console/output.h"

#include <sys/time.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

namespace console {

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
    if (!m_editing) {
        write(text + "\n");
        return;
    }
    m_waiting.push_back(text);
    char wake = 1;
    // The pipe is non-blocking: when it is full, the editor has a wake-up pending anyway.
    ssize_t written = ::write(m_wakeFd, &wake, 1);
    static_cast<void>(written);
}

void Output::beginEditing(int wakeFd) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_editing = true;
    m_wakeFd = wakeFd;
}

void Output::printWaiting(const std::function<void()>& clear, const std::function<void()>& redraw) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_waiting.empty()) {
        return;
    }
    clear();
    for (const std::string& text : m_waiting) {
        write(text + "\n");
    }
    m_waiting.clear();
    redraw();
}

void Output::endEditing() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_editing = false;
    for (const std::string& text : m_waiting) {
        write(text + "\n");
    }
    m_waiting.clear();
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
