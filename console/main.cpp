// kestra-console: plays the host platform for the barcode scanner driver on a desktop. It
// starts a Java VM with an emulated scanner peer, loads the driver library through Java as the
// app does, creates the component through the library's exports and drives its methods by name.
#include "console/commands.h"
#include "console/driver.h"
#include "console/host.h"
#include "console/input_events.h"
#include "console/interrupt.h"
#include "console/line_editor.h"
#include "console/output.h"
#include "console/peer.h"
#include "console/serial.h"
#include "console/text.h"
#include "hosting/vm.h"

#include <android/log.h>
#include <elf.h>
#include <fcntl.h>
#include <langinfo.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

// Every complaint of the console begins the same way.
void complain(const std::string& text) {
    fprintf(stderr, "kestra-console: %s\n", text.c_str());
}

struct Options {
    bool log = false;
    bool russianNames = false;
    bool devicesGiven = false;
    bool libraryGiven = false;
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
                complain(arg + " needs a value");
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
            options.libraryGiven = options.libraryGiven || arg == "--library";
        } else if (arg == "-h" || arg == "--help") {
            fputs(kUsage, stdout);
            exit(0);
        } else if ((arg.empty() || arg[0] != '-' || arg == "-") && options.script.empty()) {
            options.script = arg;
        } else {
            complain("unknown argument '" + arg + "'");
            fputs(kUsage, stderr);
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

struct Machine {
    unsigned char elfClass;
    uint16_t elfMachine;
    const char* name;
};

const Machine kMachines[] = {
    {ELFCLASS32, EM_386, "32-bit x86"},
    {ELFCLASS64, EM_X86_64, "64-bit x86-64"},
    {ELFCLASS32, EM_ARM, "32-bit ARM"},
    {ELFCLASS64, EM_AARCH64, "64-bit ARM"},
};

#if defined(__x86_64__)
const Machine& kConsoleMachine = kMachines[1];
#elif defined(__i386__)
const Machine& kConsoleMachine = kMachines[0];
#elif defined(__aarch64__)
const Machine& kConsoleMachine = kMachines[3];
#elif defined(__arm__)
const Machine& kConsoleMachine = kMachines[2];
#else
#error "kestra-console: an architecture without a Machine entry"
#endif

std::string machineName(unsigned char elfClass, uint16_t elfMachine) {
    for (const Machine& machine : kMachines) {
        if (machine.elfClass == elfClass && machine.elfMachine == elfMachine) {
            return machine.name;
        }
    }
    return std::string(elfClass == ELFCLASS64 ? "64-bit" : "32-bit") + " ELF machine " +
           std::to_string(elfMachine);
}

// The VM can load only a library of its own architecture, and when it cannot it says so late
// and obscurely (after warnings of its own): the ELF header tells at once.
bool checkLibrary(const Options& options, std::string& problem) {
    FILE* file = fopen(options.library.c_str(), "rb");
    if (file == nullptr) {
        if (!options.libraryGiven && errno == ENOENT) {
            problem = "the driver library " + options.library +
                      " has not been built: build it with `cmake --build " KESTRA_CONSOLE_BUILD_DIR
                      "` (or `make demo`, for the 32-bit one), or name one with --library FILE";
        } else {
            problem = "cannot read the library " + options.library + ": " + strerror(errno);
        }
        return false;
    }
    unsigned char header[EI_NIDENT + 4] = {};
    size_t length = fread(header, 1, sizeof header, file);
    fclose(file);
    if (length < sizeof header || memcmp(header, ELFMAG, SELFMAG) != 0) {
        problem = "the library " + options.library + " is no shared library (it has no ELF header)";
        return false;
    }
    // e_machine follows e_type, in the byte order the header names.
    const unsigned char* machineBytes = header + EI_NIDENT + 2;
    uint16_t elfMachine = header[EI_DATA] == ELFDATA2MSB ? (machineBytes[0] << 8 | machineBytes[1])
                                                         : (machineBytes[1] << 8 | machineBytes[0]);
    if (header[EI_CLASS] != kConsoleMachine.elfClass || elfMachine != kConsoleMachine.elfMachine) {
        problem = "the library " + options.library + " is built for " +
                  machineName(header[EI_CLASS], elfMachine) + "; this console is " + kConsoleMachine.name +
                  " and loads only " + kConsoleMachine.name +
                  " libraries (each build's console loads that build's library)";
        return false;
    }
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
    return checkLibrary(options, problem);
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

// Reads commands at the prompt until quit, the end of input or Ctrl-C at an empty prompt; a
// failed step does not end it. interrupts: notified at each Ctrl-C, or null.
int runInteractive(console::Session& session, console::EventCounter& events, FILE* terminal,
                   console::WakePipe* interrupts) {
    console::LineEditor editor(
        terminal, "scanner> ", console::defaultHistoryFile(),
        [&session](const std::vector<std::string>& before) { return session.completions(before); },
        interrupts);
    console::output().line(interrupts != nullptr
                               ? "type help for the commands, quit or Ctrl-D to leave; Ctrl-C "
                                 "drops the typed line or stops a wait"
                               : "type help for the commands, quit to leave");
    std::string line;
    while (!session.quitRequested() && editor.readLine(line)) {
        // A Ctrl-C from here on stops the command's wait; one typed before was for the prompt.
        events.clearInterrupt();
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
            complain(std::string("cannot set up standard input: ") + strerror(errno));
            return 2;
        }
    } else {
        commandInput = open(options.script.c_str(), O_RDONLY | O_CLOEXEC);
        if (commandInput < 0) {
            complain("cannot open the script " + options.script + ": " + strerror(errno));
            return 2;
        }
        struct stat status {};
        if (fstat(commandInput, &status) == 0 && S_ISDIR(status.st_mode)) {
            complain("cannot run the script " + options.script + ": it is a folder");
            return 2;
        }
    }
    FILE* commands = fdopen(commandInput, "r");
    std::string problem;
    if (!checkPaths(options, problem)) {
        complain(problem);
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
    // At the prompt Ctrl-C is the console's, not the VM's: -Xrs leaves SIGINT alone.
    if (interactive) {
        console::holdInterrupts();
        settings.options.push_back("-Xrs");
    }
    JavaVM* vm = nullptr;
    JNIEnv* env = hosting::startVm(settings, &vm, problem);
    console::Exports exports;
    if (env == nullptr || !hosting::loadLibrary(env, library, problem) ||
        !console::findExports(library, exports, problem) || !console::registerSerialPort(env, problem) ||
        !console::registerInputEvents(env, problem) || !console::registerScannerWatch(env, problem)) {
        complain(problem);
        return 2;
    }
    bool interruptsTaken = interactive && console::takeInterrupts();
    // Lines of the device configuration that cannot be used are left out; say so now rather
    // than at the first open.
    for (const std::string& deviceProblem : console::deviceProblems(env)) {
        complain(deviceProblem + " (left out)");
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
        complain("the driver's component could not be created");
        return 2;
    }

    console::Session session(
        driver, events, options.russianNames, scanInput, [env] { return console::keyboardScannerOpen(env); },
        [env](const std::string& text) { return console::scanIntoEmulatedScanner(env, text); },
        [env](const std::string& text) { return console::dropEmulatedLink(env, text); });
    int status = 0;
    if (interactive) {
        console::WakePipe interrupts;
        console::InterruptHandler onInterrupt([&interrupts, &events] {
            interrupts.notify();
            events.interrupt();
        });
        status = runInteractive(session, events, commands, interruptsTaken ? &interrupts : nullptr);
    } else {
        status = runScript(session, commands);
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
