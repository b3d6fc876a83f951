// The console's commands: one per driver method, plus listing, waiting for events and help.
#pragma once

#include "console/driver.h"
#include "console/host.h"
#include "console/line_editor.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace console {

// What `drop` found: no emulated LE scanner open, or its link dropped and the peer connected
// again, or did not within the time allowed.
enum class LinkDrop { NoneOpen, Reconnected, NotReconnected };

class Session {
public:
    // russianNames: look the driver methods up by their Russian names instead of the English
    // ones. scanInput: the write end of the pipe that the keyboard scanner reads as its
    // standard input, or -1 when it reads the console's real standard input. keyboardOpen:
    // whether a device reading that input is open now. typeKeys: sends a barcode from an open
    // emulated keyboard-mode or LE scanner, false when none is open. dropLink: sends a barcode's
    // start from an open emulated LE scanner, then drops its link.
    Session(Driver& driver, EventCounter& events, bool russianNames, int scanInput,
            std::function<bool()> keyboardOpen, std::function<bool(const std::string&)> typeKeys = {},
            std::function<LinkDrop(const std::string&)> dropLink = {})
        : m_driver(driver),
          m_events(events),
          m_russianNames(russianNames),
          m_scanInput(scanInput),
          m_keyboardOpen(std::move(keyboardOpen)),
          m_typeKeys(std::move(typeKeys)),
          m_dropLink(std::move(dropLink)) {}

    // Runs one command line. Returns false when the step failed: an unknown command or wrong
    // arguments, a call that returned false, a driver answer of false, or events that did not
    // come. Blank lines and # comments succeed.
    bool run(const std::string& line);

    bool quitRequested() const { return m_quit; }

    // The words that may follow the complete words `before` of a command line: command names,
    // method names in the chosen language after `call`, device addresses from the last
    // `parameters` after `set <name>`.
    LineEditor::Completions completions(const std::vector<std::string>& before);

    // Closes the device quietly, as a host does before it lets the driver go.
    void closeDevice();

private:
    // How a step ended. A misused command (unknown, or with wrong arguments) is never the
    // failure that expect-failure waits for.
    enum class Step { Done, Failed, Misused };

    Step dispatch(const std::vector<std::string>& words);
    Step callMethod(const std::string& englishName, const std::string& russianName,
                    const std::vector<std::string>& inputs);
    Step callByName(const std::string& name, const std::vector<std::string>& inputs);
    Step callWithValues(const std::vector<std::string>& words);
    bool report(const std::string& label, CallResult& result, size_t inputCount);
    // Prints the driver's last error after `label`.
    void explainFailure(const std::string& label);
    // inputs: the name and the value given to SetParameter, if any.
    void explainRefusedParameter(const std::vector<std::string>& inputs);
    void explainRefusedCall(const std::vector<std::string>& words);
    Step listMethods();
    Step waitForEvents(const std::vector<std::string>& words);
    Step scan(const std::vector<std::string>& words);
    Step dropLink(const std::vector<std::string>& words);
    void help();

    Driver& m_driver;
    EventCounter& m_events;
    bool m_russianNames;
    int m_scanInput;
    std::function<bool()> m_keyboardOpen;
    std::function<bool(const std::string&)> m_typeKeys;
    std::function<LinkDrop(const std::string&)> m_dropLink;
    bool m_quit = false;
    bool m_lastWasParameters = false;
    // From the last parameters, for completion.
    std::vector<std::pair<std::string, std::string>> m_lastDevices;
    std::vector<std::string> m_lastParameterNames;
    std::vector<std::string> m_methodNames;  // in the chosen language, once asked for
};

// Pulls the device items out of a settings document's choice list, for the readable listing
// after `parameters`: pairs of (value, shown name) with the XML escapes undone.
std::vector<std::pair<std::string, std::string>> choiceItems(const std::string& document);

// The names of a settings document's parameters, with the XML escapes undone.
std::vector<std::string> parameterNames(const std::string& document);

}  // namespace console
