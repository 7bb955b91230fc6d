#pragma once
// Standard output as a script relies on it: every write is checked, and a
// record that did not reach its reader (a full disk, a reader that went away)
// turns a success into exit status 2 with a message, instead of a silent
// success with cut output. SIGPIPE is ignored in main so that a closed pipe
// shows up here as a write error.

#include <string>

namespace tgxctl {
// UTF-8 bytes to standard output.
void Out(const std::string& utf8);
// A Windows-1251 text as one UTF-8 line.
void OutLine1251(const std::string& cp1251);
// Flushes standard output and checks it. Returns `code`, or 2 (file not
// written) when the output was lost and `code` was a success; the message
// goes to standard error either way.
int FinishOutput(int code);
}  // namespace tgxctl
