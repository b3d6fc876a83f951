// Every Android log record the process writes, captured through __android_log_set_logger.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace testsupport {

struct LogRecord {
    int priority;
    std::string tag;
    std::string message;
};

// Installs the capturing logger (done once by the test main, before the VM starts).
void installLogCapture();

// All records since the start of the process, or since the given mark.
std::vector<LogRecord> logRecords(size_t since = 0);
// Only the messages, since the given mark.
std::vector<std::string> logMessages(size_t since = 0);
// A mark: the number of records captured so far.
size_t logMark();

// Marks the log at construction; messages() gives what was logged since.
class LogWindow {
public:
    LogWindow() : m_mark(logMark()) {}
    std::vector<std::string> messages() const { return logMessages(m_mark); }
    std::vector<LogRecord> records() const { return logRecords(m_mark); }
    size_t count(const std::string& message) const;
    void reset() { m_mark = logMark(); }

private:
    size_t m_mark;
};

// The messages with the getJniEnv lines left out (they carry addresses).
std::vector<std::string> withoutEnvLines(const std::vector<std::string>& messages);

}  // namespace testsupport
