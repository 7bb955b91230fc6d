#include "journal/Sessionentry.h"

#include <atomic>
#include <chrono>

#include "app/core/Folders.h"
#include "link/Portcol.h"
#include "link/Versions.h"
#include "link/session/Bvlink.h"

namespace tgx {

SessionRecord SessionEntry(const TBVLink& session, JournalOp op, const std::string& projectFile) {
  SessionRecord r;
  r.Operation = op;
  r.Started = session.StartedAt;
  r.Ended = session.EndedAt;
  // A session that never started (refused before the worker ran) has no
  // times of its own: it is recorded when it was refused.
  if (r.Ended == JournalTime{}) r.Ended = std::chrono::system_clock::now();
  if (r.Started == JournalTime{} || r.Started > r.Ended) r.Started = r.Ended;
  r.DurationMs = std::chrono::duration_cast<std::chrono::milliseconds>(r.Ended - r.Started).count();
  r.User = SessionUser();
  if (session.DevicePath.empty()) {
    r.Port = PortName(session.Channel.PortIndex);
    r.Device = PortDevicePath(session.Channel.PortIndex);
  } else {
    r.Device = session.DevicePath;
  }
  r.VersionLabel = VersionLabel(session.VersionId);
  r.VersionCode = session.VersionCode;
  r.ResultCode = session.ResultCode;
  r.StatusText = session.StatusText;
  if (!session.StatusDetail.empty()) r.StatusText += "\n" + session.StatusDetail;
  r.LongestWait = session.LongestWait.load();
  r.Bytes = session.BytesExchanged;
  const bool succeeded = session.Succeeded.load();
  switch (op) {
    case JournalOp::Read:
    case JournalOp::Compare:
      // The unit's tables, when the read got them.
      if (succeeded) r.Tables = session.Tables;
      break;
    case JournalOp::Write:
      // What was sent, whether or not the unit took all of it.
      r.Tables = session.Tables;
      break;
    case JournalOp::Delete:
      break;
  }
  if ((op == JournalOp::Write || op == JournalOp::Delete) && session.BackupTaken) r.Backup = session.Backup;
  if (op == JournalOp::Write || op == JournalOp::Compare) {
    r.ProjectFile = projectFile;
    if (!projectFile.empty()) r.ProjectChecksum = FileChecksumText(projectFile);
  }
  return r;
}

std::string RecordSession(const SessionRecord& r) {
  JournalOpen opened = Journal::Open(DataDir());
  if (opened.Instance == nullptr) return opened.Message;
  RecordResult done = opened.Instance->Record(r);
  if (!done.Message.empty()) return done.Message;
  return opened.Message;
}

std::string RecordSessionOnce(const SessionRecord& r) {
  static std::atomic<bool> told{false};
  std::string message = RecordSession(r);
  if (message.empty() || told.exchange(true)) return {};
  return message;
}

}  // namespace tgx
