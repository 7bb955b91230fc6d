#pragma once
// How the core tells the operator something (a form file that cannot be read,
// a configuration file that cannot be written): one text, one OK. The windows
// install a sink that shows a message box; tgxctl one that prints to stderr.

#include <string>
#include <vector>

namespace tgx {
class MessageSink {
 public:
  virtual ~MessageSink() = default;
  // `cp1251` is the message text in Windows-1251 bytes.
  virtual void Show(const std::string& cp1251) = 0;
};

// Prints the text converted to UTF-8 on stderr, one line each. The default.
class StderrSink : public MessageSink {
 public:
  void Show(const std::string& cp1251) override;
};

// Keeps the texts; for tests.
class RecordingSink : public MessageSink {
 public:
  void Show(const std::string& cp1251) override { shown.push_back(cp1251); }
  std::vector<std::string> shown;
};

// The process-wide sink. Setting nullptr restores the stderr sink.
MessageSink& Messages();
void SetMessageSink(MessageSink* sink);
void ShowMessage(const std::string& cp1251);

// Installs a sink for the lifetime of the object (tests, tgxctl).
class ScopedMessageSink {
 public:
  explicit ScopedMessageSink(MessageSink& sink);
  ~ScopedMessageSink();
  ScopedMessageSink(const ScopedMessageSink&) = delete;
  ScopedMessageSink& operator=(const ScopedMessageSink&) = delete;

 private:
  MessageSink* previous_;
};
}  // namespace tgx
