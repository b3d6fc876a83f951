// A logger for long runs: it counts the library's log lines instead of keeping them, so that
// millions of lines cost no memory, and it sorts out every line that is not a well-formed line
// of the library. While it is installed the usual log capture sees nothing.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace stress {

class LogTally {
public:
    // isPayload tells the lines that carry outside text (barcodes and the like) from fixed
    // lines; each payload line is handed to onPayload, on the thread that logged it.
    LogTally(std::function<bool(const std::string&)> isPayload,
             std::function<void(const std::string&)> onPayload);
    // Puts the usual log capture back.
    ~LogTally();
    LogTally(const LogTally&) = delete;
    LogTally& operator=(const LogTally&) = delete;

    // How often a fixed line (not a payload, not an environment line) was logged.
    size_t count(const std::string& line) const;
    size_t payloadCount() const;
    // Lines that were not UTF-8, had another priority or tag, or were empty; the first few.
    size_t malformedCount() const;
    std::vector<std::string> malformedSamples() const;
    // Every distinct fixed line with its count, for a failure message.
    std::map<std::string, size_t> fixedLines() const;

    void record(int priority, const char* tag, const char* message);

private:
    std::function<bool(const std::string&)> m_isPayload;
    std::function<void(const std::string&)> m_onPayload;
    mutable std::mutex m_mutex;
    std::map<std::string, size_t> m_fixed;
    size_t m_payloads = 0;
    size_t m_malformed = 0;
    std::vector<std::string> m_malformedSamples;
};

// Whether text is a line of getJniEnv that carries an environment address.
bool isEnvironmentLine(const std::string& text);

// Resident memory of this process, in bytes.
size_t residentBytes();

}  // namespace stress
