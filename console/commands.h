// The console's commands: one per driver method, plus listing, waiting for events and help.
#pragma once

#include "console/driver.h"
#include "console/host.h"

#include <string>
#include <vector>

namespace console {

class Session {
public:
    // russianNames: look the driver methods up by their Russian names instead of the English
    // ones. scanInput: the write end of the pipe that the keyboard scanner reads as its
    // standard input, or -1 when it reads the console's real standard input.
    Session(Driver& driver, EventCounter& events, bool russianNames, int scanInput)
        : m_driver(driver), m_events(events), m_russianNames(russianNames), m_scanInput(scanInput) {}

    // Runs one command line. Returns false when the step failed: an unknown command or wrong
    // arguments, a call that returned false, a driver answer of false, or events that did not
    // come. Blank lines and # comments succeed.
    bool run(const std::string& line);

    bool quitRequested() const { return m_quit; }

    // Closes the device quietly, as a host does before it lets the driver go.
    void closeDevice();

private:
    bool dispatch(const std::vector<std::string>& words);
    bool callMethod(const std::string& englishName, const std::string& russianName,
                    const std::vector<std::string>& inputs);
    bool callByName(const std::string& name, const std::vector<std::string>& inputs);
    bool report(const std::string& label, CallResult& result, size_t inputCount);
    bool listMethods();
    bool waitForEvents(const std::vector<std::string>& words);
    bool scan(const std::vector<std::string>& words);
    void help();

    Driver& m_driver;
    EventCounter& m_events;
    bool m_russianNames;
    int m_scanInput;
    bool m_quit = false;
    bool m_lastWasParameters = false;
};

// Pulls the device items out of a settings document's choice list, for the readable listing
// after `parameters`: pairs of (value, shown name) with the XML escapes undone.
std::vector<std::pair<std::string, std::string>> choiceItems(const std::string& document);

}  // namespace console
