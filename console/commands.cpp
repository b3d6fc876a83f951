#include "console/commands.h"

#include "console/output.h"
#include "console/text.h"

#include <unistd.h>

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
    {"scan <text>", "type a barcode into the keyboard scanner (a device with source stdin)"},
    {"wait <n> events [seconds]", "wait for n events not taken by an earlier wait (default 10 s)"},
    {"expect-failure <command>", "a step that must fail (for scripts)"},
    {"help", "this list"},
    {"quit", "leave (also exit, or end of input)"},
};

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
    return dispatch(words);
}

bool Session::dispatch(const std::vector<std::string>& words) {
    const std::string& command = words[0];
    size_t arguments = words.size() - 1;
    auto wrongArguments = [&](const char* usage) {
        output().line(std::string("usage: ") + usage);
        return false;
    };
    auto noArguments = [&](const char* english, const char* russian) {
        if (arguments != 0) {
            return wrongArguments(command.c_str());
        }
        return callMethod(english, russian, {});
    };
    if (command == "version") return noArguments("GetVersion", "ПолучитьНомерВерсии");
    if (command == "description") return noArguments("GetDescription", "ПолучитьОписание");
    if (command == "error") return noArguments("GetLastError", "ПолучитьОшибку");
    if (command == "parameters") {
        m_lastWasParameters = true;
        bool ok = noArguments("GetParameters", "ПолучитьПараметры");
        m_lastWasParameters = false;
        return ok;
    }
    if (command == "open") return noArguments("Open", "Подключить");
    if (command == "close") return noArguments("Close", "Отключить");
    if (command == "test") return noArguments("DeviceTest", "ТестУстройства");
    if (command == "actions") return noArguments("GetAdditionalActions", "ПолучитьДополнительныеДействия");
    if (command == "set") {
        if (arguments != 2) {
            return wrongArguments("set <name> <value>   (quote a value with blanks: \"...\"; \"\" is empty)");
        }
        return callMethod("SetParameter", "УстановитьПараметр", {words[1], words[2]});
    }
    if (command == "methods") return arguments == 0 ? listMethods() : wrongArguments("methods");
    if (command == "call") {
        if (arguments == 0) {
            return wrongArguments("call <method> [values...]");
        }
        return callByName(words[1], std::vector<std::string>(words.begin() + 2, words.end()));
    }
    if (command == "wait") return waitForEvents(words);
    if (command == "scan") return scan(words);
    if (command == "expect-failure") {
        if (arguments == 0) {
            return wrongArguments("expect-failure <command>");
        }
        if (dispatch(std::vector<std::string>(words.begin() + 1, words.end()))) {
            output().line("expected this step to fail, but it succeeded");
            return false;
        }
        output().line("(failed as expected)");
        return true;
    }
    if (command == "help") {
        help();
        return true;
    }
    if (command == "quit" || command == "exit") {
        m_quit = true;
        return true;
    }
    output().line("unknown command '" + visible(command) + "'; type help for the list");
    return false;
}

bool Session::callMethod(const std::string& englishName, const std::string& russianName,
                         const std::vector<std::string>& inputs) {
    return callByName(m_russianNames ? russianName : englishName, inputs);
}

bool Session::callByName(const std::string& name, const std::vector<std::string>& inputs) {
    int number = m_driver.findMethod(name);
    if (number < 0) {
        output().line("FindMethod(\"" + visible(name) + "\") = -1: the driver has no such method");
        return false;
    }
    CallResult result = m_driver.call(number, inputs);
    bool ok = report(name, result, inputs.size());
    m_driver.release(result);
    return ok;
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

bool Session::listMethods() {
    std::vector<MethodInfo> all = m_driver.methods();
    std::string text = " no  " + padded("English name", 22) + padded("Russian name", 33) + "parameters";
    for (const MethodInfo& method : all) {
        std::string number = std::to_string(method.number);
        text += "\n" + std::string(3 - std::min<size_t>(number.size(), 2), ' ') + number + "  " +
                padded(method.english, 22) + padded(method.russian, 33) +
                std::to_string(method.parameterCount);
    }
    output().line(text);
    return !all.empty();
}

bool Session::waitForEvents(const std::vector<std::string>& words) {
    const char* usage = "usage: wait <n> events [seconds]";
    if (words.size() < 3 || words.size() > 4 || (words[2] != "events" && words[2] != "event")) {
        output().line(usage);
        return false;
    }
    char* end = nullptr;
    long count = strtol(words[1].c_str(), &end, 10);
    if (*end != '\0' || count < 1 || count > 1000000) {
        output().line(usage);
        return false;
    }
    double seconds = 10;
    if (words.size() == 4) {
        seconds = strtod(words[3].c_str(), &end);
        if (*end == 's') {
            ++end;
        }
        if (*end != '\0' || !(seconds > 0) || seconds > 86400) {
            output().line(usage);
            return false;
        }
    }
    int arrived = m_events.take(static_cast<int>(count), seconds);
    if (arrived == count) {
        output().line("wait: " + std::to_string(count) + (count == 1 ? " event" : " events") + " arrived");
        return true;
    }
    char limit[32];
    snprintf(limit, sizeof limit, "%g", seconds);
    output().line("wait: only " + std::to_string(arrived) + " of " + std::to_string(count) +
                  " events arrived within " + limit + " s");
    return false;
}

bool Session::scan(const std::vector<std::string>& words) {
    if (words.size() < 2) {
        output().line("usage: scan <text>");
        return false;
    }
    if (m_scanInput < 0) {
        output().line("scan: the keyboard scanner reads this console's own standard input; type there");
        return false;
    }
    std::string line = joinFrom(words, 1) + "\n";
    ssize_t written = write(m_scanInput, line.data(), line.size());
    if (written != static_cast<ssize_t>(line.size())) {
        output().line(std::string("scan: the keyboard scanner's input is full: ") +
                      (written < 0 ? strerror(errno) : "partly written"));
        return false;
    }
    return true;
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
