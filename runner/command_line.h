#ifndef RUNNER_COMMAND_LINE_H_
#define RUNNER_COMMAND_LINE_H_

#include <string>
#include <vector>

// The process's arguments after the program name, as UTF-8. An argument that is not valid
// UTF-16 becomes an empty string in its place, so positions are kept.
std::vector<std::string> ArgumentsAsUtf8();

// Whether |command_line| asks for a hidden start. Found anywhere, even inside a longer
// argument such as a quoted path.
bool RequestsMinimizedStart(const wchar_t* command_line);

// Asks the system to start the host again, hidden in the tray as at sign-in, once an installer
// or an update has closed it through the Restart Manager; never after a crash or a hang, which a
// restart would only repeat. False when the system refused.
bool RegisterRestartAfterUpdate();

#endif  // RUNNER_COMMAND_LINE_H_
