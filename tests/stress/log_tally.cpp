#include "tests/stress/log_tally.h"

#include "module/trace.h"
#include "tests/support/log_capture.h"

#include <android/log.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>

namespace stress {
namespace {

std::atomic<LogTally*> g_tally{nullptr};

void tallyLine(const __android_logger_data* data, const char* message) {
    if (LogTally* tally = g_tally.load()) {
        tally->record(data->priority, data->tag, message);
    }
}

bool isUtf8(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        auto lead = static_cast<unsigned char>(text[i++]);
        int follow = lead < 0x80                   ? 0
                     : lead >= 0xC2 && lead < 0xE0 ? 1
                     : lead >= 0xE0 && lead < 0xF0 ? 2
                     : lead >= 0xF0 && lead < 0xF5 ? 3
                                                   : -1;
        if (follow < 0 || i + static_cast<size_t>(follow) > text.size()) {
            return false;
        }
        for (int k = 0; k < follow; ++k) {
            if ((static_cast<unsigned char>(text[i++]) & 0xC0) != 0x80) {
                return false;
            }
        }
    }
    return true;
}

bool hasHexTail(const std::string& text, const std::string& prefix) {
    if (text.size() != prefix.size() + 8 || text.compare(0, prefix.size(), prefix) != 0) {
        return false;
    }
    for (size_t i = prefix.size(); i < text.size(); ++i) {
        if (!isxdigit(static_cast<unsigned char>(text[i])) || islower(static_cast<unsigned char>(text[i]))) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool isEnvironmentLine(const std::string& text) {
    return hasHexTail(text, "GetEnv(), env = ") || hasHexTail(text, "AttachCurrentThreadAsDaemon(), env = ");
}

LogTally::LogTally(std::function<bool(const std::string&)> isPayload,
                   std::function<void(const std::string&)> onPayload)
    : m_isPayload(std::move(isPayload)), m_onPayload(std::move(onPayload)) {
    g_tally.store(this);
    __android_log_set_logger(tallyLine);
}

LogTally::~LogTally() {
    testsupport::installLogCapture();
    g_tally.store(nullptr);
}

void LogTally::record(int priority, const char* tag, const char* message) {
    std::string text = message ? message : "";
    bool wellFormed = priority == ANDROID_LOG_INFO && tag != nullptr && strcmp(tag, kLogTag) == 0 &&
                      message != nullptr && isUtf8(text);
    bool payload = wellFormed && m_isPayload(text);
    if (payload) {
        m_onPayload(text);
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!wellFormed) {
        ++m_malformed;
        if (m_malformedSamples.size() < 5) {
            m_malformedSamples.push_back(text);
        }
    } else if (payload) {
        ++m_payloads;
    } else if (!isEnvironmentLine(text)) {
        ++m_fixed[text];
    }
}

size_t LogTally::count(const std::string& line) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto found = m_fixed.find(line);
    return found == m_fixed.end() ? 0 : found->second;
}

size_t LogTally::payloadCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_payloads;
}

size_t LogTally::malformedCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_malformed;
}

std::vector<std::string> LogTally::malformedSamples() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_malformedSamples;
}

std::map<std::string, size_t> LogTally::fixedLines() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_fixed;
}

size_t residentBytes() {
    long pages = 0;
    if (FILE* statm = fopen("/proc/self/statm", "r")) {
        long size = 0;
        if (fscanf(statm, "%ld %ld", &size, &pages) != 2) {
            pages = 0;
        }
        fclose(statm);
    }
    return static_cast<size_t>(pages) * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

}  // namespace stress
