#include "model/Messages.h"

#include <cstdio>

#include "model/Cp1251.h"

namespace tgx {
namespace {
StderrSink g_stderr;
MessageSink* g_sink = &g_stderr;
}  // namespace

void StderrSink::Show(const std::string& cp1251) {
  const std::string text = ToUtf8(cp1251);
  std::fprintf(stderr, "%s\n", text.c_str());
}

MessageSink& Messages() { return *g_sink; }
void SetMessageSink(MessageSink* sink) { g_sink = sink ? sink : &g_stderr; }
void ShowMessage(const std::string& cp1251) { g_sink->Show(cp1251); }

ScopedMessageSink::ScopedMessageSink(MessageSink& sink) : previous_(g_sink) { g_sink = &sink; }
ScopedMessageSink::~ScopedMessageSink() { g_sink = previous_; }
}  // namespace tgx
