#pragma once

// A request to stop, made by a signal handler (SIGINT, SIGTERM, SIGHUP; on
// Windows Ctrl-C, Ctrl-Break and the console's closing, as SIGINT): a
// run that sees it ends after the statement being written, as if cancelled,
// so the output holds whole statements only. Every wait of the program's
// own (a read or write that would block, the open of a FIFO, the output's
// lock) ends as soon as a request arrives, returning kStopped.

namespace rowsmith {

// Safe to call from a signal handler.
void RequestStop(int signal) noexcept;
// The signal that asked to stop, or 0.
int StopSignal() noexcept;
// Forgets the request (for tests).
void ClearStopRequest() noexcept;

// From now on SIGINT, SIGTERM and SIGHUP request a stop, and interrupt the
// system call they arrive in rather than restart it.
void CatchStopSignals();
// The signal's name as the C library gives it ("Interrupt" for SIGINT).
const char* SignalName(int signal);

enum class Waiting { ToRead, ToWrite };
// Waits until fd can be read or written without waiting, or a stop is
// requested, whichever comes first: 0, kStopped, or the errno of the wait.
int WaitFor(int fd, Waiting what);
// Waits at most milliseconds for a stop request: kStopped when one came, 0
// otherwise.
int WaitForStop(int milliseconds);

}  // namespace rowsmith
