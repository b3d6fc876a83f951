#include "console/commands.h"

#include "console/output.h"
#include "console/text.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace console {
namespace {

struct CommandHelp {
    const char* synopsis;
    const char* meaning;
};

const CommandHelp kHelp[] = {
    {"version", "GetVersion: the driver's version"},
    {"description", "GetDescription: names, description and flags of the driver"},
    {"parameters", "GetParameters: the settings document with the device list"},
    {"set <name> <value>", "SetParameter, e.g. set BluetoothDevice 00:1A:7D:DA:71:11"},
    {"open", "Open: connect the chosen device"},
    {"close", "Close: disconnect it"},
    {"test", "DeviceTest: check that the chosen device can be reached"},
    {"error", "GetLastError: the last error in words"},
    {"actions", "GetAdditionalActions"},
    {"methods", "all methods with both names and their parameter counts"},
    {"call <method> [values...]", "any method by its English or Russian name, values as strings"},
    {"scan <text>",
     "type a barcode into the open emulated scanner (a device with source keys:LAYOUT, le:SERVICE or stdin)"},
    {"drop [text]", "the open emulated LE scanner sends the text without its end, then its link drops"},
    {"wait <n> events [seconds]", "wait for n events not taken by an earlier wait (default 10 s)"},
    {"expect-failure <command>", "a step that must fail (for scripts)"},
    {"help", "this list"},
    {"quit", "leave (also exit, or end of input)"},
};

// How the last error is introduced after a failed open or test (it says why), and after a refusal
// (it may be older than the call).
const char kWhy[] = "  why, as GetLastError tells: ";
const char kLastError[] = "  the driver's last error, as GetLastError tells: ";

// How many of each driver method's parameters the host fills in before the call; the others
// are written by the driver. GetNParams counts both kinds, and the driver says no more.
const std::pair<const char*, int> kInputs[] = {
    {"GetVersion", 0},
    {"GetDescription", 0},
    {"GetLastError", 0},
    {"GetParameters", 0},
    {"SetParameter", 2},
    {"Open", 0},
    {"Close", 1},
    {"DeviceTest", 0},
    {"GetAdditionalActions", 0},
    {"DoAdditionalAction", 1},
};

// -1 for a method this console does not know.
int inputCount(const std::string& englishName) {
    for (const auto& method : kInputs) {
        if (englishName == method.first) {
            return method.second;
        }
    }
    return -1;
}

std::string joinFrom(const std::vector<std::string>& words, size_t first) {
    std::string joined;
    for (size_t i = first; i < words.size(); ++i) {
        joined += (i > first ? " " : "") + words[i];
    }
    return joined;
}

std::string padded(const std::string& text, size_t width) {
    size_t length = displayLength(text);
    return text + std::string(length < width ? width - length : 1, ' ');
}

std::string unescapeXml(const std::string& text) {
    static const std::pair<const char*, const char*> kEntities[] = {
        {"&lt;", "<"},  {"&gt;", ">"},   {"&quot;", "\""}, {"&apos;", "'"},
        {"&#9;", "\t"}, {"&#10;", "\n"}, {"&#13;", "\r"},  {"&amp;", "&"}};
    std::string out;
    for (size_t at = 0; at < text.size();) {
        bool replaced = false;
        if (text[at] == '&') {
            for (const auto& entity : kEntities) {
                size_t length = strlen(entity.first);
                if (text.compare(at, length, entity.first) == 0) {
                    out += entity.second;
                    at += length;
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced) {
            out += text[at++];
        }
    }
    return out;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> choiceItems(const std::string& document) {
    std::vector<std::pair<std::string, std::string>> items;
    const std::string open = "<Item Value=\"";
    for (size_t at = document.find(open); at != std::string::npos; at = document.find(open, at)) {
        size_t valueEnd = document.find('"', at + open.size());
        size_t nameStart = valueEnd == std::string::npos ? valueEnd : document.find('>', valueEnd);
        size_t nameEnd = nameStart == std::string::npos ? nameStart : document.find("</Item>", nameStart);
        if (nameEnd == std::string::npos) {
            break;
        }
        items.emplace_back(unescapeXml(document.substr(at + open.size(), valueEnd - at - open.size())),
                           unescapeXml(document.substr(nameStart + 1, nameEnd - nameStart - 1)));
        at = nameEnd;
    }
    return items;
}

std::vector<std::string> parameterNames(const std::string& document) {
    std::vector<std::string> names;
    const std::string open = "<Parameter Name=\"";
    for (size_t at = document.find(open); at != std::string::npos; at = document.find(open, at)) {
        at += open.size();
        size_t end = document.find('"', at);
        if (end == std::string::npos) {
            break;
        }
        names.push_back(unescapeXml(document.substr(at, end - at)));
    }
    return names;
}

bool Session::run(const std::string& line) {
    std::vector<std::string> words;
    std::string problem;
    if (!splitWords(line, words, problem)) {
        output().line("cannot read the command: " + problem);
        return false;
    }
    if (words.empty() || words[0][0] == '#') {
        return true;
    }
    return dispatch(words) == Step::Done;
}

Session::Step Session::dispatch(const std::vector<std::string>& words) {
    const std::string& command = words[0];
    size_t arguments = words.size() - 1;
    auto misused = [&](const std::string& usage) {
        output().line("usage: " + usage);
        return Step::Misused;
    };
    auto noArguments = [&](const char* english, const char* russian) {
        if (arguments != 0) {
            return misused(command + " (it takes no values)");
        }
        return callMethod(english, russian, {});
    };
    // A device that cannot be opened or tested leaves its reason in the last error.
    auto explained = [&](Step step) {
        if (step == Step::Failed) {
            explainFailure(kWhy);
        }
        return step;
    };
    if (command == "version") return noArguments("GetVersion", "ПолучитьНомерВерсии");
    if (command == "description") return noArguments("GetDescription", "ПолучитьОписание");
    if (command == "error") return noArguments("GetLastError", "ПолучитьОшибку");
    if (command == "parameters") {
        m_lastWasParameters = true;
        Step step = noArguments("GetParameters", "ПолучитьПараметры");
        m_lastWasParameters = false;
        return step;
    }
    if (command == "open") return explained(noArguments("Open", "Подключить"));
    if (command == "close") return noArguments("Close", "Отключить");
    if (command == "test") return explained(noArguments("DeviceTest", "ТестУстройства"));
    if (command == "actions") return noArguments("GetAdditionalActions", "ПолучитьДополнительныеДействия");
    if (command == "set") {
        if (arguments != 2) {
            return misused("set <name> <value>   (quote a value with blanks: \"...\"; \"\" is empty)");
        }
        Step step = callMethod("SetParameter", "УстановитьПараметр", {words[1], words[2]});
        if (step == Step::Failed) {
            explainRefusedParameter({words[1], words[2]});
        }
        return step;
    }
    if (command == "methods") return arguments == 0 ? listMethods() : misused("methods");
    if (command == "call") {
        if (arguments == 0) {
            return misused("call <method> [values...]");
        }
        Step step = callWithValues(words);
        if (step == Step::Failed) {
            explainRefusedCall(words);
        }
        return step;
    }
    if (command == "wait") return waitForEvents(words);
    if (command == "scan") return scan(words);
    if (command == "drop") return dropLink(words);
    if (command == "expect-failure") {
        if (arguments == 0) {
            return misused("expect-failure <command>");
        }
        Step step = dispatch(std::vector<std::string>(words.begin() + 1, words.end()));
        if (step == Step::Misused) {
            output().line("expect-failure: a command that cannot run is not the failure expected");
            return Step::Misused;
        }
        if (step == Step::Done) {
            output().line("expected this step to fail, but it succeeded");
            return Step::Failed;
        }
        output().line("(failed as expected)");
        return Step::Done;
    }
    if (command == "help") {
        help();
        return Step::Done;
    }
    if (command == "quit" || command == "exit") {
        m_quit = true;
        return Step::Done;
    }
    output().line("unknown command '" + visible(command) + "'; type help for the list");
    return Step::Misused;
}

Session::Step Session::callMethod(const std::string& englishName, const std::string& russianName,
                                  const std::vector<std::string>& inputs) {
    return callByName(m_russianNames ? russianName : englishName, inputs);
}

Session::Step Session::callByName(const std::string& name, const std::vector<std::string>& inputs) {
    int number = m_driver.findMethod(name);
    if (number < 0) {
        output().line("FindMethod(\"" + visible(name) + "\") = -1: the driver has no such method");
        return Step::Failed;
    }
    CallResult result = m_driver.call(number, inputs);
    bool ok = report(name, result, inputs.size());
    m_driver.release(result);
    return ok ? Step::Done : Step::Failed;
}

// A host passes a method exactly as many parameters as GetNParams announces: more values than
// that are refused. The host fills in the inputs; parameters the driver writes are passed empty,
// and so is an input left out (with a word about it).
Session::Step Session::callWithValues(const std::vector<std::string>& words) {
    const std::string& name = words[1];
    std::vector<std::string> values(words.begin() + 2, words.end());
    int number = m_driver.findMethod(name);
    int total = number < 0 ? -1 : m_driver.parameterCount(number);
    int known = number < 0 ? -1 : inputCount(m_driver.methodName(number, 0));
    int inputs = known >= 0 ? std::min(known, total) : total;
    auto counted = [&](int expected) {
        return visible(name) + " takes " + std::to_string(expected) +
               (expected == 1 ? " value, " : " values, ") + std::to_string(values.size()) + " given";
    };
    if (total >= 0 && static_cast<int>(values.size()) > total) {
        output().line("call: " + counted(total));
        return Step::Misused;
    }
    if (inputs >= 0 && static_cast<int>(values.size()) < inputs) {
        output().line("call: " + counted(inputs) + "; the others are passed empty");
    }
    return callByName(name, values);
}

// The driver takes a parameter by its exact name, and only a text as its value.
void Session::explainRefusedParameter(const std::vector<std::string>& inputs) {
    if (inputs.size() < 2) {
        output().line("  the driver takes only a text as the value, and none was given");
    } else {
        std::string names;
        for (const std::string& known : m_lastParameterNames) {
            names += (names.empty() ? "" : ", ") + visible(known);
        }
        output().line("  the driver takes no parameter '" + visible(inputs[0]) +
                      "' (names are case-sensitive; " +
                      (names.empty() ? std::string("`parameters` lists them") : "it takes " + names) + ")");
    }
    explainFailure(kLastError);
}

void Session::explainRefusedCall(const std::vector<std::string>& words) {
    int number = m_driver.findMethod(words[1]);
    if (number < 0) {
        return;  // already said: no such method
    }
    std::string english = m_driver.methodName(number, 0);
    if (english == "SetParameter") {
        explainRefusedParameter(std::vector<std::string>(words.begin() + 2, words.end()));
        return;
    }
    if (english == "DoAdditionalAction") {
        output().line(
            "  the driver offers no additional actions (GetAdditionalActions lists none), so it "
            "refuses every one");
    }
    explainFailure(english == "Open" || english == "DeviceTest" ? kWhy : kLastError);
}

void Session::explainFailure(const std::string& label) {
    int number = m_driver.findMethod(m_russianNames ? "ПолучитьОшибку" : "GetLastError");
    if (number < 0) {
        return;
    }
    CallResult result = m_driver.call(number, {});
    std::string reason = result.parameters.empty() ? std::string() : variantText(result.parameters[0]);
    m_driver.release(result);
    output().line(reason.empty() ? "  (error tells why)" : label + visible(reason));
}

bool Session::report(const std::string& label, CallResult& result, size_t inputCount) {
    std::string text = visible(label) + ": call " + (result.called ? "true" : "false") + ", value " +
                       describeVariant(result.returnValue);
    for (size_t i = 0; i < result.parameters.size(); ++i) {
        // Out-parameters, and inputs the call has replaced; untouched inputs are not repeated.
        const tVariant& parameter = result.parameters[i];
        bool written = memcmp(&parameter, &result.passed[i], sizeof parameter) != 0;
        if (written || (i >= inputCount && parameter.typeCode != VariantEmpty)) {
            text += "\n  " + std::to_string(i + 1) + ": " + describeVariant(parameter);
        }
    }
    if (m_lastWasParameters && !result.parameters.empty()) {
        auto items = choiceItems(variantText(result.parameters[0]));
        m_lastDevices = items;
        m_lastParameterNames = parameterNames(variantText(result.parameters[0]));
        text += "\n  devices to choose from (set BluetoothDevice <address>):";
        for (const auto& item : items) {
            text += "\n    " + padded(visible(item.first), 19) + visible(item.second);
        }
        if (items.empty()) {
            text += "\n    (none)";
        }
    }
    output().line(text);
    bool answeredFalse = result.returnValue.typeCode == VariantBool && result.returnValue.boolValue == 0;
    return result.called && !answeredFalse;
}

Session::Step Session::listMethods() {
    std::vector<MethodInfo> all = m_driver.methods();
    std::string text = " no  " + padded("English name", 22) + padded("Russian name", 33) + "parameters";
    for (const MethodInfo& method : all) {
        std::string number = std::to_string(method.number);
        text += "\n" + std::string(3 - std::min<size_t>(number.size(), 2), ' ') + number + "  " +
                padded(method.english, 22) + padded(method.russian, 33) +
                std::to_string(method.parameterCount);
    }
    output().line(text);
    return all.empty() ? Step::Failed : Step::Done;
}

Session::Step Session::waitForEvents(const std::vector<std::string>& words) {
    auto misused = [] {
        output().line("usage: wait <n> events [seconds]");
        return Step::Misused;
    };
    if (words.size() < 3 || words.size() > 4 || (words[2] != "events" && words[2] != "event")) {
        return misused();
    }
    char* end = nullptr;
    long count = strtol(words[1].c_str(), &end, 10);
    if (*end != '\0' || count < 1 || count > 1000000) {
        return misused();
    }
    double seconds = 10;
    if (words.size() == 4) {
        seconds = strtod(words[3].c_str(), &end);
        if (*end == 's') {
            ++end;
        }
        if (*end != '\0' || !(seconds > 0) || seconds > 86400) {
            return misused();
        }
    }
    bool interrupted = false;
    int arrived = m_events.take(static_cast<int>(count), seconds, interrupted);
    if (interrupted) {
        // The terminal has echoed ^C where the cursor was.
        output().line(std::string(isatty(STDOUT_FILENO) ? "\n" : "") + "wait: cancelled (Ctrl-C); " +
                      std::to_string(arrived) + " of " + std::to_string(count) + " events had arrived");
        return Step::Failed;
    }
    if (arrived == count) {
        output().line("wait: " + std::to_string(count) + (count == 1 ? " event" : " events") + " arrived");
        return Step::Done;
    }
    char limit[32];
    snprintf(limit, sizeof limit, "%g", seconds);
    output().line("wait: only " + std::to_string(arrived) + " of " + std::to_string(count) +
                  " events arrived within " + limit + " s");
    return Step::Failed;
}

const int kScanSeconds = 10;

Session::Step Session::scan(const std::vector<std::string>& words) {
    if (words.size() < 2) {
        output().line("usage: scan <text>");
        return Step::Misused;
    }
    long before = m_events.received();
    // An emulated keyboard-mode scanner types the text as key presses of its layout.
    bool typed = m_typeKeys && m_typeKeys(joinFrom(words, 1));
    if (!typed && m_scanInput < 0) {
        output().line("scan: the keyboard scanner reads this console's own standard input; type there");
        return Step::Failed;
    }
    // Typed into a scanner that is not open, the barcode would wait and arrive at the next open.
    if (!typed && (!m_keyboardOpen || !m_keyboardOpen())) {
        output().line(
            "scan: no emulated scanner is open (open a device with source keys:LAYOUT, le:SERVICE or stdin "
            "first); nothing sent");
        return Step::Failed;
    }
    std::string line = joinFrom(words, 1) + "\n";
    ssize_t written = typed ? 0 : write(m_scanInput, line.data(), line.size());
    if (!typed && written != static_cast<ssize_t>(line.size())) {
        output().line(std::string("scan: the keyboard scanner's input is full: ") +
                      (written < 0 ? strerror(errno) : "partly written"));
        return Step::Failed;
    }
    // A scan is done once the scanner has handed the barcode to the host: a close right after
    // it must not find the barcode still on its way (a later `wait` still counts its event).
    if (!m_events.awaitReceived(before + 1, kScanSeconds)) {
        output().line("scan: the scanner did not hand the barcode on within " + std::to_string(kScanSeconds) +
                      " s (see `error`)");
        return Step::Failed;
    }
    return Step::Done;
}

Session::Step Session::dropLink(const std::vector<std::string>& words) {
    LinkDrop result = m_dropLink ? m_dropLink(joinFrom(words, 1)) : LinkDrop::NoneOpen;
    if (result == LinkDrop::NoneOpen) {
        output().line(
            "drop: no emulated Bluetooth LE scanner is open (open a device with source le:SERVICE first)");
        return Step::Failed;
    }
    if (result == LinkDrop::NotReconnected) {
        output().line("drop: the link dropped, and the peer did not connect again within 10 s (see `error`)");
        return Step::Failed;
    }
    return Step::Done;
}

LineEditor::Completions Session::completions(const std::vector<std::string>& before) {
    size_t first = 0;
    while (first < before.size() && before[first] == "expect-failure") {
        ++first;
    }
    std::vector<std::string> words;
    size_t position = before.size() - first;
    const std::string command = position > 0 ? before[first] : std::string();
    if (position == 0) {
        for (const CommandHelp& entry : kHelp) {
            std::string synopsis = entry.synopsis;
            words.push_back(synopsis.substr(0, synopsis.find(' ')));
        }
    } else if (command == "call" && position == 1) {
        if (m_methodNames.empty()) {
            for (const MethodInfo& method : m_driver.methods()) {
                m_methodNames.push_back(m_russianNames ? method.russian : method.english);
            }
        }
        words = m_methodNames;
    } else if (command == "set" && position == 1) {
        words = m_lastParameterNames;
    } else if (command == "set" && position == 2) {
        // Addresses are compared without regard to case by the peer, as on a phone.
        for (const auto& device : m_lastDevices) {
            words.push_back(device.first);
        }
        return {words, true};
    }
    return {words, false};
}

void Session::closeDevice() {
    int number = m_driver.findMethod("Close");
    if (number >= 0) {
        CallResult result = m_driver.call(number, {});
        m_driver.release(result);
    }
}

void Session::help() {
    std::string text = "commands:";
    for (const CommandHelp& entry : kHelp) {
        text += "\n  " + padded(entry.synopsis, 28) + entry.meaning;
    }
    text +=
        "\nevents print as they arrive: [time] event: source, message, data (control characters as <GS>, "
        "<CR>...)";
    output().line(text);
}

}  // namespace console
