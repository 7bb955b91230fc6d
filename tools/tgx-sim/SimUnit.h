#pragma once
// The unit side of the line protocol, byte by byte: takes each byte the
// master sends, answers as a unit of the configured firmware, keeps the
// unit's table memory (and its state file), injects the requested faults and
// writes the transaction log. It does no input or output on the line itself,
// so a test can drive it directly; PtyServer carries it over a terminal.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "SimDisplay.h"
#include "SimFirmware.h"
#include "SimOptions.h"
#include "SimState.h"

namespace tgxsim {

// Bytes to send for one received byte, and how slowly to send them.
struct Reply {
  std::vector<uint8_t> bytes;
  int byteDelayMs = 0;
};

class SimUnit {
 public:
  // `clock` gives seconds on a monotonic scale; the display and the protocol
  // time-outs run on it.
  explicit SimUnit(const SimOptions& options, std::function<double()> clock = {});
  ~SimUnit();
  SimUnit(const SimUnit&) = delete;
  SimUnit& operator=(const SimUnit&) = delete;

  // Loads the state file (creating it when absent) and opens the log.
  // False with `error` set when either cannot be used.
  bool Start(std::string& error);

  // One byte from the master; the answer, if any, is appended to `reply`.
  void Receive(uint8_t byte, Reply& reply);
  // Milliseconds until `Tick` has something to do, or -1.
  int MillisecondsToNextTick() const;
  // Drops a written block that stopped arriving.
  void Tick();
  // Rewrites the state file (when there is one); done after every change.
  void SaveState();

  const Firmware& Unit() const { return fw_; }
  const UnitMemory& Memory() const { return memory_; }
  const SimDisplay& Display() const { return display_; }
  bool PanelStarted() const { return panelStarted_; }

 private:
  enum class Step {
    kNone,
    kSecondWord,    // 0x1234: the second handshake read
    kWordWrite1,    // 0x5577: the first of the two handshake writes
    kWordWrite2,
    kParameters,    // the four-byte parameter block
    kData,          // the request itself
    kRefuse,        // the parameter block was damaged
  };
  enum class Incoming { kNone, kWord, kParameters, kData };

  void Begin(uint8_t command);
  void End();
  void Emit(uint8_t b);
  void EmitBlock(const std::vector<uint8_t>& data, bool checksum, bool spoil);
  void Expect(Incoming what, int n);
  void FinishIncoming();

  void HandleSingle(uint8_t command);
  void HandleHandshakeStep(uint8_t command);
  void HandleData(uint8_t command);
  void HandlePanel(uint8_t command);
  void ApplyRules(int code, bool requestRules);
  std::vector<uint8_t> ReadObject(int code, int n) const;
  uint8_t StoreWrite(int code, const std::vector<uint8_t>& data);
  static bool IsHandshaked(int code);
  bool Knows(int code) const;
  int PackingModesValue() const;
  void Restart();
  double Now() const { return clock_(); }

  SimOptions options_;
  Firmware fw_;
  std::function<double()> clock_;
  UnitMemory memory_;
  SimDisplay display_;
  bool panelStarted_ = false;

  // transaction in progress
  Reply* reply_ = nullptr;
  std::vector<uint8_t> logIn_, logOut_;
  bool inTransaction_ = false;
  int budget_ = -1;  // reply bytes still allowed; -1 unlimited
  int statusOverride_ = -1;
  bool spoilChecksum_ = false;
  int byteDelayMs_ = 0;
  Incoming incoming_ = Incoming::kNone;
  int incomingN_ = 0;
  bool incomingChecksum_ = false;
  std::vector<uint8_t> incomingBytes_;
  double lastByteAt_ = 0;

  // handshaked request in progress
  Step step_ = Step::kNone;
  uint8_t stepCommand_ = 0;
  double stepAt_ = 0;
  int paramN_ = 0;
  int paramMode_ = 0;
  uint8_t dataCommand_ = 0;
  bool after15Zero_ = false;

  std::map<int, int> requestCount_;
  int transactionCount_ = 0;
  std::FILE* log_ = nullptr;
};

}  // namespace tgxsim
