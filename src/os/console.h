#pragma once

#include "os/result.h"

#include <string>
#include <string_view>

namespace process {
class Interrupt;
}

// What the command-line programs tell the user (messages, help, drawing names, findings) is UTF-8 text. A
// console shows every letter of it whatever its code page (Windows: through the console's wide-character
// output); written anywhere else (a file, a pipe) it is UTF-8 bytes with LF line ends, on every platform.
namespace console {

enum class Stream
{
    Output,
    Error,
};

// Writes text, UTF-8, to standard output or standard error; false when it could not be written whole (a
// reader of the pipe that has gone among the reasons).
bool write(Stream stream, std::string_view text);

// Readies the standard streams of a program that has to end cleanly whatever becomes of them. A standard
// stream that is closed at the start is opened on the null device, so that no file the program opens later
// takes its number and gets its messages. A reader of standard output or error that goes away no longer ends
// the program (POSIX: SIGPIPE); write() answers false instead and the program decides what that means. Nor does
// a write past the file-size limit (POSIX: SIGXFSZ): it fails as a full disk does. The programs it starts get
// both signals as usual.
void guardStandardStreams();

// Calls stop when the user or the system asks the program to stop: Ctrl+C, a request to end (SIGTERM), the
// terminal closed or the remote login ended (SIGHUP); on Windows also Ctrl+Break, and the console window closed
// or the system shut down, after which Windows gives the program a few seconds before it ends it. On POSIX stop
// runs in a signal handler and must be async-signal-safe. releaseStopRequests gives them their usual effect back.
void catchStopRequests(void (*stop)() noexcept);
void releaseStopRequests();

// Why standard input was not read to its end.
struct InputProblem
{
    bool stopped = false; // stop was raised first
    std::string detail;   // otherwise what the system said (UTF-8)
};
// Standard input to its end, as bytes, unless stop (null: none) is raised first: a reading that waits on a
// terminal or a pipe is left then, and standard input is not to be read again.
Result<std::string, InputProblem> readInput(const process::Interrupt* stop);

// A file name, as the bytes the file system gave, as a text that names it exactly on a line of its own:
// decoded from the encoding of names, TAB, LF and CR as \t, \n and \r, a byte that is no letter of that
// encoding as \xNN (two capital hexadecimal digits), and a backslash as \\ where a name can hold one (on
// Windows it only ever separates folders, and stays as it is).
std::string escapedName(std::string_view bytes);

} // namespace console
