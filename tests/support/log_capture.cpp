#include "tests/support/log_capture.h"

#include <android/log.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace testsupport {
namespace {

std::mutex g_mutex;
std::vector<LogRecord> g_records;
bool g_echo = false;

void captureRecord(const __android_logger_data* data, const char* message) {
    LogRecord record{data->priority, data->tag ? data->tag : "", message ? message : ""};
    if (g_echo) {
        fprintf(stderr, "[log %d %s] %s\n", record.priority, record.tag.c_str(), record.message.c_str());
    }
    std::lock_guard<std::mutex> lock(g_mutex);
    g_records.push_back(std::move(record));
}

}  // namespace

void installLogCapture() {
    g_echo = getenv("KESTRA_TEST_ECHO_LOG") != nullptr;
    __android_log_set_logger(captureRecord);
}

std::vector<LogRecord> logRecords(size_t since) {
    std::lock_guard<std::mutex> lock(g_mutex);
    since = std::min(since, g_records.size());
    return std::vector<LogRecord>(g_records.begin() + static_cast<std::ptrdiff_t>(since), g_records.end());
}

std::vector<std::string> logMessages(size_t since) {
    std::vector<std::string> messages;
    for (const LogRecord& record : logRecords(since)) {
        messages.push_back(record.message);
    }
    return messages;
}

size_t logMark() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_records.size();
}

size_t LogWindow::count(const std::string& message) const {
    std::vector<std::string> all = messages();
    return static_cast<size_t>(std::count(all.begin(), all.end(), message));
}

std::vector<std::string> withoutEnvLines(const std::vector<std::string>& messages) {
    std::vector<std::string> kept;
    for (const std::string& message : messages) {
        bool envLine = message == "getJniEnv()" || message.rfind("GetEnv(), env = ", 0) == 0 ||
                       message.rfind("AttachCurrentThreadAsDaemon(), env = ", 0) == 0;
        if (!envLine) {
            kept.push_back(message);
        }
    }
    return kept;
}

}  // namespace testsupport
