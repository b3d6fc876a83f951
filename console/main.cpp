// kestra-console: plays the host platform for the barcode scanner driver on a desktop. It
// starts a Java VM with an emulated scanner peer, loads the driver library through Java as the
// app does, creates the component through the library's exports and drives its methods by name.
#include "console/commands.h"
#include "console/driver.h"
#include "console/host.h"
#include "console/output.h"
#include "console/text.h"
#include "hosting/vm.h"

#include <android/log.h>
#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kUsage[] =
    "usage: kestra-console [options] [SCRIPT]\n"
    "  Without SCRIPT the console is interactive when its input is a terminal, and reads a\n"
    "  script from standard input otherwise; SCRIPT '-' is standard input.\n"
    "options:\n"
    "  --log            show the driver's log lines (priority, tag, message) among the output\n"
    "  --russian        look the driver methods up by their Russian names\n"
    "  --devices FILE   the emulated scanners (default: console/devices.conf of the source tree)\n"
    "  --library FILE   the driver library (default: the one built with the console)\n"
    "  --jvm FILE       libjvm.so of a JDK of the console's architecture\n"
    "  --classes DIR    the console's Java classes\n"
    "exit status: 0 when every step succeeded, 1 when a script step failed, 2 when the console\n"
    "could not start.\n";

struct Options {
    bool log = false;
    bool russianNames = false;
    std::string devices = KESTRA_CONSOLE_DEVICES;
    std::string library = KESTRA_CONSOLE_LIBRARY;
    std::string libjvm = hosting::buildLibjvm();
    std::string classes = KESTRA_CONSOLE_CLASSES;
    std::string script;  // empty: none given
};

bool parseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= argc) {
                fprintf(stderr, "%s needs a value\n", arg.c_str());
                return false;
            }
            into = argv[++i];
            return true;
        };
        if (arg == "--log") {
            options.log = true;
        } else if (arg == "--russian") {
            options.russianNames = true;
        } else if (arg == "--devices" || arg == "--library" || arg == "--jvm" || arg == "--classes") {
            std::string& target = arg == "--devices"   ? options.devices
                                  : arg == "--library" ? options.library
                                  : arg == "--jvm"     ? options.libjvm
                                                       : options.classes;
            if (!value(target)) {
                return false;
            }
        } else if (arg == "-h" || arg == "--help") {
            fputs(kUsage, stdout);
            exit(0);
        } else if ((arg.empty() || arg[0] != '-' || arg == "-") && options.script.empty()) {
            options.script = arg;
        } else {
            fprintf(stderr, "unknown argument '%s'\n%s", arg.c_str(), kUsage);
            return false;
        }
    }
    return true;
}

char priorityLetter(int priority) {
    static const char letters[] = "??VDIWEFS";
    return priority >= 0 && priority < 9 ? letters[priority] : '?';
}

void showLogRecord(const __android_logger_data* data, const char* message) {
    console::output().asyncLine(std::string("[log ") + priorityLetter(data->priority) + " " +
                                (data->tag ? data->tag : "") + "] " +
                                console::visible(message ? message : ""));
}

void dropLogRecord(const __android_logger_data*, const char*) {}

std::string absolutePath(const std::string& path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

// When commands come from standard input, the emulated keyboard scanner cannot read the same
// descriptor: the VM's standard input becomes a pipe that the `scan` command writes into, and
// the console reads its commands from a copy of the original descriptor.
bool divertStandardInput(int& commandInput, int& scanInput) {
    int fds[2];
    commandInput = dup(STDIN_FILENO);
    if (commandInput < 0 || pipe(fds) != 0 || dup2(fds[0], STDIN_FILENO) < 0) {
        return false;
    }
    close(fds[0]);
    scanInput = fds[1];
    fcntl(scanInput, F_SETFL, fcntl(scanInput, F_GETFL) | O_NONBLOCK);
    fcntl(commandInput, F_SETFD, FD_CLOEXEC);
    fcntl(scanInput, F_SETFD, FD_CLOEXEC);
    return true;
}

bool readLine(FILE* input, std::string& line) {
    line.clear();
    int c;
    while ((c = fgetc(input)) != EOF && c != '\n') {
        line += static_cast<char>(c);
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return c != EOF || !line.empty();
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseOptions(argc, argv, options)) {
        return 2;
    }
    __android_log_set_logger(options.log ? showLogRecord : dropLogRecord);

    bool fromStandardInput = options.script.empty() || options.script == "-";
    bool interactive = options.script.empty() && isatty(STDIN_FILENO);
    int commandInput = -1;
    int scanInput = -1;
    if (fromStandardInput) {
        if (!divertStandardInput(commandInput, scanInput)) {
            perror("cannot set up standard input");
            return 2;
        }
    } else {
        commandInput = open(options.script.c_str(), O_RDONLY | O_CLOEXEC);
        if (commandInput < 0) {
            fprintf(stderr, "cannot open the script %s: %s\n", options.script.c_str(), strerror(errno));
            return 2;
        }
    }
    FILE* commands = fdopen(commandInput, "r");

    std::string library = absolutePath(options.library);
    std::string devices = absolutePath(options.devices);
    // -Xcheck:jni makes the VM report any misuse of JNI by the driver (or by this console).
    hosting::VmSettings settings;
    settings.libjvm = options.libjvm;
    settings.classPath = options.classes;
    settings.options = {"-Dkestra.devices=" + devices, "-Xcheck:jni", "-Dfile.encoding=UTF-8", "-Xss1m"};
    JavaVM* vm = nullptr;
    std::string problem;
    JNIEnv* env = hosting::startVm(settings, &vm, problem);
    console::Exports exports;
    if (env == nullptr || !hosting::loadLibrary(env, library, problem) ||
        !console::findExports(library, exports, problem)) {
        fprintf(stderr, "kestra-console: %s\n", problem.c_str());
        return 2;
    }
    // The activity lives as long as the console.
    jobject localActivity = hosting::newActivity(env, "kestra-console");
    jobject activity = localActivity ? env->NewGlobalRef(localActivity) : nullptr;

    console::HostMemory memory;
    console::EventCounter events;
    console::AndroidHelper helper(vm, activity);
    console::HostConnection connection(helper, events);
    console::Driver driver(exports, memory, connection);
    std::vector<std::string> startup;
    bool created = driver.create(startup);
    console::output().line("library " + library + "\ndevices " + devices);
    for (const std::string& line : startup) {
        console::output().line(line);
    }
    if (!created) {
        fprintf(stderr, "kestra-console: the driver's component could not be created\n");
        return 2;
    }

    console::Session session(driver, events, options.russianNames, scanInput);
    if (interactive) {
        console::output().configure("scanner> ", isatty(STDOUT_FILENO));
        console::output().line("type help for the commands, quit to leave");
    }
    int status = 0;
    int lineNumber = 0;
    std::string line;
    while (!session.quitRequested()) {
        if (interactive) {
            console::output().showPrompt();
        }
        bool got = readLine(commands, line);
        if (interactive) {
            console::output().answered();
        }
        if (!got) {
            break;
        }
        ++lineNumber;
        if (!interactive) {
            size_t first = line.find_first_not_of(" \t");
            if (first == std::string::npos || line[first] == '#') {
                continue;
            }
            console::output().line("> " + console::visible(line));
        }
        if (!session.run(line) && !interactive) {
            console::output().line("script: step at line " + std::to_string(lineNumber) + " failed");
            status = 1;
            break;
        }
    }

    // A host disconnects the device before it lets the driver go: the peer's reader must not
    // send barcodes to a component that no longer exists.
    session.closeDevice();
    driver.destroy();
    if (activity != nullptr) {
        env->DeleteGlobalRef(activity);
    }
    fclose(commands);
    vm->DestroyJavaVM();
    return status;
}
