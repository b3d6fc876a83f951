// Runs kestra-console as a child process with pipes on its standard input and output, so a test
// can type commands, read what it prints, and act (write files, connect sockets) in between.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace consoletest {

class ConsoleProcess {
public:
    // args: the console's arguments. Its standard error goes to the same pipe as its output.
    // runner: a command the console runs under (another user's, say), or empty.
    explicit ConsoleProcess(const std::vector<std::string>& args,
                            const std::vector<std::string>& runner = {});
    ~ConsoleProcess();
    ConsoleProcess(const ConsoleProcess&) = delete;
    ConsoleProcess& operator=(const ConsoleProcess&) = delete;

    void send(const std::string& line);
    void closeInput();

    // Reads until `text` appears in output not yet passed by an earlier waitFor; moves past it.
    bool waitFor(const std::string& text, double seconds = 30);

    // Closes the input, reads the rest and returns the exit status (-1 when it did not end).
    int finish(double seconds = 60);

    const std::string& output() const { return m_output; }
    // Where the last waitFor match ended.
    size_t position() const { return m_searchFrom; }

private:
    bool readSome(double seconds);

    pid_t m_pid = -1;
    int m_input = -1;
    int m_outputFd = -1;
    std::string m_output;
    size_t m_searchFrom = 0;
};

// The command that starts the console as built: its binary, behind the emulator that runs it
// when the build is for another architecture. And the source tree's console folder.
std::vector<std::string> consoleCommand();
std::string consoleSourceDir();

// A fresh directory for one test, removed with its files at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }
    // Writes (or appends to) a file in the directory.
    void write(const std::string& name, const std::string& content, bool append = false) const;

private:
    std::string m_path;
};

// A loopback TCP port that nothing listens on right now.
int freeLoopbackPort();

// Connects to 127.0.0.1:port, retrying until the deadline. -1 when it could not.
int connectLoopback(int port, double seconds = 20);

// Positions of the texts in `output`, in order; each search starts after the previous find.
bool appearInOrder(const std::string& output, const std::vector<std::string>& texts);

}  // namespace consoletest
