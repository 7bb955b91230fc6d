#pragma once
// The journal record of a finished session, as the window program and
// tgxctl make it, and the one call that keeps it in the journal.

#include <string>

#include "journal/Journal.h"

class TBVLink;

namespace tgx {

// The record of a session that has Finished: times, user, port name
// "COM<n>" (empty when a device path was opened outright), device path,
// version label and code, result, status text (with its detail on the next
// line), longest wait, bytes, duration; the tables read (read, compare) or
// written (write), and the backup a write or delete took first.
// `projectFile` is the project's native file name ("" when none); a file
// that exists is given its checksum.
SessionRecord SessionEntry(const TBVLink& session, JournalOp op, const std::string& projectFile);

// Records into journal.sqlite in DataDir(). Never throws; waits at most the
// journal's busy time-out. Returns "" or a Windows-1251 message to tell the
// operator.
std::string RecordSession(const SessionRecord& r);
// RecordSession, whose message is given only the first time one comes in
// this process: a journal that cannot be written is told once, not after
// every session.
std::string RecordSessionOnce(const SessionRecord& r);

}  // namespace tgx
