// Where the library's log records go while a benchmark runs.
#pragma once

#include <string>

namespace bench {

// Records are formatted by the logging library as usual, counted, and dropped.
void dropLogRecords();

// Records dropped so far, on all threads.
unsigned long droppedLogRecords();

// While it lives: the logging library's default stderr logger, with stderr sent to a file
// (truncated when redirected). Restores stderr and drops records again when it ends.
class LogToFile {
public:
    explicit LogToFile(const std::string& path);
    ~LogToFile();
    LogToFile(const LogToFile&) = delete;
    LogToFile& operator=(const LogToFile&) = delete;

    bool ok() const { return m_savedStderr >= 0; }

private:
    int m_savedStderr = -1;
};

// The file the logs_to_file benchmarks write; set once by main.
extern std::string g_logFilePath;

}  // namespace bench
