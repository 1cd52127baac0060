#pragma once

// A request to stop, made by a signal handler (SIGINT, SIGTERM, SIGHUP): a
// run that sees it ends after the statement being written, as if cancelled,
// so the output holds whole statements only.

namespace rowsmith {

// Safe to call from a signal handler.
void RequestStop(int signal) noexcept;
// The signal that asked to stop, or 0.
int StopSignal() noexcept;
// Forgets the request (for tests).
void ClearStopRequest() noexcept;

}  // namespace rowsmith
