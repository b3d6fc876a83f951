#include "bench/log_modes.h"

#include <android/log.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>

namespace bench {

std::string g_logFilePath = "kestra-bench-log.txt";

namespace {

std::atomic<unsigned long> g_droppedRecords{0};

void dropRecord(const __android_logger_data* /*data*/, const char* /*message*/) {
    g_droppedRecords.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

void dropLogRecords() {
    __android_log_set_logger(dropRecord);
}

unsigned long droppedLogRecords() {
    return g_droppedRecords.load(std::memory_order_relaxed);
}

LogToFile::LogToFile(const std::string& path) {
    int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (file < 0) {
        perror(path.c_str());
        return;
    }
    fflush(stderr);
    m_savedStderr = dup(STDERR_FILENO);
    dup2(file, STDERR_FILENO);
    close(file);
    __android_log_set_logger(__android_log_stderr_logger);
}

LogToFile::~LogToFile() {
    dropLogRecords();
    if (m_savedStderr >= 0) {
        fflush(stderr);
        dup2(m_savedStderr, STDERR_FILENO);
        close(m_savedStderr);
    }
}

}  // namespace bench
