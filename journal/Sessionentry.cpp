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
  r.Ended = std::chrono::system_clock::now();
  r.Started = r.Ended;
  r.User = SessionUser();
  if (session.DevicePath.empty()) {
    r.Port = PortName(session.Channel.PortIndex);
    r.Device = PortDevicePath(session.Channel.PortIndex);
  } else {
    r.Device = session.DevicePath;
  }
  r.VersionLabel = VersionLabel(session.VersionId);
  r.StatusText = session.StatusText;
  r.LongestWait = session.LongestWait.load();
  r.ResultCode = session.Succeeded.load() ? 0 : -1;
  const bool succeeded = session.Succeeded.load();
  switch (op) {
    case JournalOp::Read:
    case JournalOp::Compare:
      if (succeeded) r.Tables = session.Tables;
      break;
    case JournalOp::Write:
      r.Tables = session.Tables;
      break;
    case JournalOp::Delete:
      break;
  }
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
