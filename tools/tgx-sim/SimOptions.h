#pragma once
// tgx-sim's command line: what unit to be, where its memory lives and which
// faults to inject.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "SimFirmware.h"

namespace tgxsim {

// Request code that a fault rule matches: a request code (1, 3, 7, 20...),
// 0xE0 for every key request, 0xF0 for the display poll, or kAnyCode.
constexpr int kAnyCode = -1;

// One fault: `value` for requests of `code`; `nth` = 0 every time, else only
// the nth request of that code (counting from 1 since start).
struct FaultRule {
  int code = kAnyCode;
  int value = 0;
  int nth = 0;
};

struct SimOptions {
  int versionCode = 6320;
  std::optional<std::array<uint8_t, 3>> versionBytes;
  bool unknownVersion = false;
  std::string statePath;
  std::string linkPath;
  std::string logPath;
  uint16_t handshake = 0x1234;
  std::optional<uint16_t> secondHandshake;
  std::optional<uint32_t> memory;
  std::optional<int> packingModes;
  bool noRequest8 = false;
  std::vector<FaultRule> status;       // value: status byte
  std::vector<FaultRule> badChecksum;  // value unused
  std::vector<FaultRule> silenceAfter; // value: reply bytes sent before falling silent
  std::vector<FaultRule> byteDelayMs;  // value: milliseconds before every reply byte
  bool pace = false;
  bool exitOnStdinEof = false;
};

enum class ParseOutcome { kRun, kHelp, kError };

// Parses the arguments after the program name. On kError `error` says why.
ParseOutcome ParseOptions(const std::vector<std::string>& args, SimOptions& options,
                          std::string& error);

// The --help text: every option and every choice the simulated unit makes
// where the protocol leaves it open.
std::string UsageText();

// The firmware the options describe (version code or bytes, unknown version).
Firmware FirmwareOf(const SimOptions& options);

}  // namespace tgxsim
