// kestra-console: plays the host platform for the barcode scanner driver on a desktop. It
// starts a Java VM with an emulated scanner peer, loads the driver library through Java as the
// app does, creates the component through the library's exports and drives its methods by name.
#include "console/commands.h"
#include "console/driver.h"
#include "console/host.h"
#include "console/line_editor.h"
#include "console/output.h"
#include "console/peer.h"
#include "console/serial.h"
#include "console/text.h"
#include "hosting/vm.h"

#include <android/log.h>
#include <fcntl.h>
#include <langinfo.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kUsage[] =
    "usage: kestra-console [options] [SCRIPT]\n"
    "  Without SCRIPT the console is interactive when its input is a terminal (line editing,\n"
    "  history in ~/.kestra_console_history, tab completion), and reads a script from standard\n"
    "  input otherwise; SCRIPT '-' is standard input.\n"
    "options:\n"
    "  --log            show the driver's log lines (priority, tag, message) among the output\n"
    "  --russian        look the driver methods up by their Russian names\n"
    "  --devices FILE   the scanners to offer (default: console/devices.conf of the source tree)\n"
    "  --library FILE   the driver library (default: the one built with the console)\n"
    "  --jvm FILE       libjvm.so of a JDK of the console's architecture\n"
    "  --classes DIR    the console's Java classes (default: those built with the console)\n"
    "  -h, --help       this text\n"
    "exit status: 0 when every step succeeded, 1 when a script step failed, 2 when the console\n"
    "could not start.\n";

struct Options {
    bool log = false;
    bool russianNames = false;
    bool devicesGiven = false;
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
            options.devicesGiven = options.devicesGiven || arg == "--devices";
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

// Checks what the options name before the VM starts, so that a wrong path is reported as what
// it is. Returns false with the reason.
bool checkPaths(const Options& options, std::string& problem) {
    struct stat status {};
    if (options.devicesGiven) {
        if (stat(options.devices.c_str(), &status) != 0) {
            problem = "the devices file " + options.devices + " does not exist";
            return false;
        }
        if (S_ISDIR(status.st_mode)) {
            problem = "the devices file " + options.devices + " is a folder";
            return false;
        }
    }
    // The emulated scanner peer stands for all of the console's classes.
    const std::string peer = "com/kestra/MobileBarcodeScannerPackage/MobileBarcodeScanner.class";
    if (stat((options.classes + "/" + peer).c_str(), &status) != 0) {
        problem = "the folder " + options.classes + " does not hold the console's Java classes (no " + peer +
                  "); --classes takes the console-classes folder of a build";
        return false;
    }
    return true;
}

// The console reads and writes UTF-8 whatever the locale says: line editing needs to know it,
// and the VM takes file names in the locale's encoding.
void useUtf8() {
    setlocale(LC_CTYPE, "");
    if (strcmp(nl_langinfo(CODESET), "UTF-8") != 0) {
        setlocale(LC_CTYPE, "C.UTF-8");
    }
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

// Runs a script's commands until one fails; returns the exit status.
int runScript(console::Session& session, FILE* commands) {
    int lineNumber = 0;
    std::string line;
    while (!session.quitRequested() && readLine(commands, line)) {
        // An editor's byte-order mark at the start of a script is no part of its first command.
        if (++lineNumber == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) {
            line.erase(0, 3);
        }
        size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#') {
            continue;
        }
        console::output().line("> " + console::visible(line));
        if (!session.run(line)) {
            console::output().line("script: step at line " + std::to_string(lineNumber) + " failed");
            return 1;
        }
    }
    return 0;
}

// Reads commands at the prompt until quit or the end of input; a failed step does not end it.
int runInteractive(console::Session& session, FILE* terminal) {
    console::LineEditor editor(
        terminal, "scanner> ", console::defaultHistoryFile(),
        [&session](const std::vector<std::string>& before) { return session.completions(before); });
    console::output().line("type help for the commands, quit to leave");
    std::string line;
    while (!session.quitRequested() && editor.readLine(line)) {
        session.run(line);
    }
    return 0;
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
        struct stat status {};
        if (fstat(commandInput, &status) == 0 && S_ISDIR(status.st_mode)) {
            fprintf(stderr, "cannot run the script %s: it is a folder\n", options.script.c_str());
            return 2;
        }
    }
    FILE* commands = fdopen(commandInput, "r");
    std::string problem;
    if (!checkPaths(options, problem)) {
        fprintf(stderr, "kestra-console: %s\n", problem.c_str());
        return 2;
    }
    useUtf8();

    std::string library = absolutePath(options.library);
    std::string devices = absolutePath(options.devices);
    // -Xcheck:jni makes the VM report any misuse of JNI by the driver (or by this console).
    hosting::VmSettings settings;
    settings.libjvm = options.libjvm;
    settings.classPath = options.classes;
    settings.options = {"-Dkestra.devices=" + devices, "-Xcheck:jni", "-Dfile.encoding=UTF-8", "-Xss1m"};
    JavaVM* vm = nullptr;
    JNIEnv* env = hosting::startVm(settings, &vm, problem);
    console::Exports exports;
    if (env == nullptr || !hosting::loadLibrary(env, library, problem) ||
        !console::findExports(library, exports, problem) || !console::registerSerialPort(env, problem)) {
        fprintf(stderr, "kestra-console: %s\n", problem.c_str());
        return 2;
    }
    // Lines of the device configuration that cannot be used are left out; say so now rather
    // than at the first open.
    for (const std::string& deviceProblem : console::deviceProblems(env)) {
        fprintf(stderr, "kestra-console: %s (left out)\n", deviceProblem.c_str());
    }
    // The activity lives as long as the console.
    jobject localActivity = hosting::newActivity(env, "kestra-console");
    jobject activity = localActivity ? env->NewGlobalRef(localActivity) : nullptr;

    console::HostMemory memory;
    console::EventCounter events;
    hosting::AndroidHelper::Options helperOptions;
    helperOptions.activity = activity;
    console::AndroidHelper helper(helperOptions);
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

    console::Session session(driver, events, options.russianNames, scanInput,
                             [env] { return console::keyboardScannerOpen(env); });
    int status = interactive ? runInteractive(session, commands) : runScript(session, commands);

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
