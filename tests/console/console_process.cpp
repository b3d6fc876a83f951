#include "tests/console/console_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace consoletest {
namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

std::vector<std::string> consoleCommand() {
    std::vector<std::string> command;
    if (*KESTRA_CONSOLE_EMULATOR != '\0') {
        command.push_back(KESTRA_CONSOLE_EMULATOR);
    }
    command.push_back(KESTRA_CONSOLE_BINARY);
    return command;
}

std::string consoleSourceDir() {
    return KESTRA_CONSOLE_SOURCE_DIR;
}

ConsoleProcess::ConsoleProcess(const std::vector<std::string>& args, const std::vector<std::string>& runner) {
    int toChild[2];
    int fromChild[2];
    if (pipe(toChild) != 0 || pipe(fromChild) != 0) {
        abort();
    }
    m_pid = fork();
    if (m_pid == 0) {
        dup2(toChild[0], STDIN_FILENO);
        dup2(fromChild[1], STDOUT_FILENO);
        dup2(fromChild[1], STDERR_FILENO);
        close(toChild[0]);
        close(toChild[1]);
        close(fromChild[0]);
        close(fromChild[1]);
        std::vector<std::string> command = runner;
        for (const std::vector<std::string>& part : {consoleCommand(), args}) {
            command.insert(command.end(), part.begin(), part.end());
        }
        std::vector<char*> argv;
        for (std::string& word : command) {
            argv.push_back(const_cast<char*>(word.c_str()));
        }
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(toChild[0]);
    close(fromChild[1]);
    m_input = toChild[1];
    m_outputFd = fromChild[0];
    signal(SIGPIPE, SIG_IGN);
}

ConsoleProcess::~ConsoleProcess() {
    closeInput();
    if (m_pid > 0) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
    if (m_outputFd >= 0) {
        close(m_outputFd);
    }
}

void ConsoleProcess::send(const std::string& line) {
    std::string text = line + "\n";
    if (m_input >= 0 && write(m_input, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
        fprintf(stderr, "could not send '%s' to the console\n", line.c_str());
    }
}

void ConsoleProcess::closeInput() {
    if (m_input >= 0) {
        close(m_input);
        m_input = -1;
    }
}

bool ConsoleProcess::readSome(double seconds) {
    pollfd ready{m_outputFd, POLLIN, 0};
    if (m_outputFd < 0 || poll(&ready, 1, static_cast<int>(seconds * 1000)) <= 0) {
        return false;
    }
    char buffer[4096];
    ssize_t count = read(m_outputFd, buffer, sizeof buffer);
    if (count <= 0) {
        close(m_outputFd);
        m_outputFd = -1;
        return false;
    }
    m_output.append(buffer, static_cast<size_t>(count));
    return true;
}

bool ConsoleProcess::waitFor(const std::string& text, double seconds) {
    auto start = std::chrono::steady_clock::now();
    while (true) {
        size_t at = m_output.find(text, m_searchFrom);
        if (at != std::string::npos) {
            m_searchFrom = at + text.size();
            return true;
        }
        double left = seconds - secondsSince(start);
        if (left <= 0 || (!readSome(left) && m_outputFd < 0)) {
            return m_output.find(text, m_searchFrom) != std::string::npos;
        }
    }
}

int ConsoleProcess::finish(double seconds) {
    closeInput();
    auto start = std::chrono::steady_clock::now();
    while (m_outputFd >= 0 && secondsSince(start) < seconds) {
        readSome(seconds - secondsSince(start));
    }
    int status = 0;
    while (secondsSince(start) < seconds) {
        pid_t done = waitpid(m_pid, &status, WNOHANG);
        if (done == m_pid) {
            m_pid = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
}

TempDir::TempDir() {
    char pattern[] = "/tmp/kestra-console-test-XXXXXX";
    const char* made = mkdtemp(pattern);
    m_path = made ? made : "/tmp";
}

TempDir::~TempDir() {
    std::string command = "rm -rf '" + m_path + "'";
    if (m_path != "/tmp" && system(command.c_str()) != 0) {
        fprintf(stderr, "could not remove %s\n", m_path.c_str());
    }
}

void TempDir::write(const std::string& name, const std::string& content, bool append) const {
    std::ofstream out(file(name),
                      append ? std::ios::binary | std::ios::app : std::ios::binary | std::ios::trunc);
    out << content;
}

int freeLoopbackPort() {
    int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = -1;
    if (bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    close(probe);
    return port;
}

int connectLoopback(int port, double seconds) {
    auto start = std::chrono::steady_clock::now();
    while (secondsSince(start) < seconds) {
        int client = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<uint16_t>(port));
        if (connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            return client;
        }
        close(client);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return -1;
}

bool appearInOrder(const std::string& output, const std::vector<std::string>& texts) {
    size_t from = 0;
    for (const std::string& text : texts) {
        size_t at = output.find(text, from);
        if (at == std::string::npos) {
            return false;
        }
        from = at + text.size();
    }
    return true;
}

}  // namespace consoletest
