#include "SimUnit.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "link/Codes.h"
#include "model/Le.h"

namespace tgxsim {
namespace {

// The unit's own choices where the protocol leaves them open.
// A written block whose checksum does not match is acknowledged with this
// status and not stored.
constexpr uint8_t kStatusBadChecksum = 11;
constexpr uint8_t kPrepareByte = 0x01;
constexpr uint32_t kDefaultMemory = 32768;
// A handshake not continued within this time belongs to a master that gave up.
// Counted from the moment the unit's last answer has left it.
constexpr double kHandshakeForgetSeconds = 1.0;
constexpr double kPacedByteSeconds = 11.0 / 9600.0;
// The master sends a block back to back; a pause this long means it stopped.
constexpr double kBlockStallSeconds = 0.1;

double SteadySeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

uint8_t Xor(const uint8_t* p, size_t n) {
  uint8_t x = 0;
  for (size_t i = 0; i < n; ++i) x ^= p[i];
  return x;
}

std::vector<uint8_t> Word(uint16_t w) {
  std::vector<uint8_t> bytes(2);
  tgx::PutLe16(bytes.data(), w);
  return bytes;
}

// The first n (at most four) bytes of a little-endian number.
std::vector<uint8_t> LowBytes(uint32_t v, int n) {
  uint8_t bytes[4];
  tgx::PutLe32(bytes, v);
  return {bytes, bytes + std::clamp(n, 0, 4)};
}

void AppendHexBytes(std::string& line, const std::vector<uint8_t>& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  for (uint8_t b : bytes) {
    line += ' ';
    line += digits[b >> 4];
    line += digits[b & 15];
  }
}

}  // namespace

SimUnit::SimUnit(const SimOptions& options, std::function<double()> clock)
    : options_(options),
      fw_(FirmwareOf(options)),
      clock_(clock ? std::move(clock) : std::function<double()>(SteadySeconds)),
      memory_(FreshMemory(fw_)),
      display_(fw_.displayVariant, fw_.versionCode, fw_.knowsVersion) {}

SimUnit::~SimUnit() {
  if (inTransaction_) End();
  if (log_) std::fclose(log_);
}

bool SimUnit::Start(std::string& error) {
  if (!options_.statePath.empty()) {
    switch (LoadState(options_.statePath, fw_, memory_, error)) {
      case StateLoad::kFailed: return false;
      case StateLoad::kAbsent: SaveState(); break;
      case StateLoad::kLoaded: break;
    }
  }
  if (!options_.logPath.empty()) {
    log_ = std::fopen(options_.logPath.c_str(), "w");
    if (!log_) {
      error = "cannot write log " + options_.logPath + ": " + std::strerror(errno);
      return false;
    }
  }
  return true;
}

void SimUnit::SaveState() {
  if (options_.statePath.empty()) return;
  std::string error;
  if (!tgxsim::SaveState(options_.statePath, fw_, memory_, error)) std::fprintf(stderr, "tgx-sim: %s\n", error.c_str());
}

// ------------------------------------------------------------ transactions

void SimUnit::Begin(uint8_t command) {
  inTransaction_ = true;
  logIn_.assign(1, command);
  logOut_.clear();
  ++transactionCount_;
  budget_ = -1;
  statusOverride_ = -1;
  spoilChecksum_ = false;
  byteDelayMs_ = 0;
  // Rules without a code act on every transaction.
  for (const FaultRule& r : options_.silenceAfter)
    if (r.code == kAnyCode && (r.nth == 0 || r.nth == transactionCount_)) budget_ = r.value;
  for (const FaultRule& r : options_.byteDelayMs)
    if (r.code == kAnyCode && (r.nth == 0 || r.nth == transactionCount_)) byteDelayMs_ = r.value;
}

void SimUnit::ApplyRules(int code, bool countRequest) {
  const int count = countRequest ? ++requestCount_[code] : requestCount_[code];
  auto hits = [&](const FaultRule& r) { return r.code == code && (r.nth == 0 || r.nth == count); };
  for (const FaultRule& r : options_.status)
    if (hits(r)) statusOverride_ = r.value;
  for (const FaultRule& r : options_.badChecksum)
    if (hits(r)) spoilChecksum_ = true;
  for (const FaultRule& r : options_.silenceAfter)
    if (hits(r)) budget_ = r.value;
  for (const FaultRule& r : options_.byteDelayMs)
    if (hits(r)) byteDelayMs_ = r.value;
}

void SimUnit::End() {
  if (log_) {
    std::string line = ">";
    AppendHexBytes(line, logIn_);
    line += " <";
    AppendHexBytes(line, logOut_);
    line += '\n';
    std::fputs(line.c_str(), log_);
    std::fflush(log_);
  }
  if (step_ != Step::kNone) {
    const double perByte = byteDelayMs_ / 1000.0 + (options_.pace ? kPacedByteSeconds : 0.0);
    stepAt_ = Now() + static_cast<double>(logOut_.size()) * perByte;
  }
  inTransaction_ = false;
  incoming_ = Incoming::kNone;
  incomingBytes_.clear();
}

void SimUnit::Emit(uint8_t b) {
  if (budget_ == 0) return;
  if (budget_ > 0) --budget_;
  logOut_.push_back(b);
  if (reply_) reply_->bytes.push_back(b);
}

void SimUnit::EmitBlock(const std::vector<uint8_t>& data, bool checksum, bool spoil) {
  for (uint8_t b : data) Emit(b);
  if (checksum) {
    const uint8_t x = Xor(data.data(), data.size());
    Emit(spoil ? static_cast<uint8_t>(x ^ 0xFF) : x);
  }
}

void SimUnit::Expect(Incoming what, int n) {
  incoming_ = what;
  incomingN_ = n;
  // Blocks of more than two bytes carry a checksum byte.
  incomingChecksum_ = n > 2;
  incomingBytes_.clear();
}

void SimUnit::Receive(uint8_t byte, Reply& reply) {
  reply_ = &reply;
  const double now = Now();
  lastByteAt_ = now;
  if (incoming_ != Incoming::kNone) {
    logIn_.push_back(byte);
    incomingBytes_.push_back(byte);
    if (static_cast<int>(incomingBytes_.size()) == incomingN_ + (incomingChecksum_ ? 1 : 0))
      FinishIncoming();
  } else {
    const bool after15Zero = after15Zero_;
    after15Zero_ = false;
    Begin(byte);
    if (step_ != Step::kNone && (byte != stepCommand_ || now - stepAt_ > kHandshakeForgetSeconds))
      step_ = Step::kNone;
    if (step_ != Step::kNone) {
      stepAt_ = now;
      HandleHandshakeStep(byte);
    } else if (byte >= kReqPanelKey) {
      HandlePanel(byte);
    } else if (byte == kReqRestart && after15Zero) {
      // The 621a identification restarts the unit with a single request 14.
      ApplyRules(kReqRestart, true);
      const int status = statusOverride_ >= 0 ? statusOverride_ : kStatusOk;
      Emit(static_cast<uint8_t>(status));
      if (status == kStatusOk) Restart();
    } else {
      HandleSingle(byte);
    }
    if (incoming_ == Incoming::kNone) End();
  }
  reply.byteDelayMs = byteDelayMs_;
  reply_ = nullptr;
}

int SimUnit::MillisecondsToNextTick() const {
  if (incoming_ == Incoming::kNone) return -1;
  const double left = lastByteAt_ + kBlockStallSeconds - Now();
  return left <= 0 ? 0 : static_cast<int>(left * 1000) + 1;
}

void SimUnit::Tick() {
  if (incoming_ == Incoming::kNone || Now() - lastByteAt_ < kBlockStallSeconds) return;
  step_ = Step::kNone;
  End();
}

// The requests that carry a data block or change the unit go through the
// handshake; the probe, the version query, the preparation and the panel's
// polls are single transactions, cheap enough to repeat.
bool SimUnit::IsHandshaked(int code) {
  switch (code) {
    case kReqHeader:
    case kReqMemorySize:
    case kReqImage:
    case kReqCompactDirectory:
    case kReqPackingModes:
    case kReqPanelStart:
    case kReqRestart: return true;
    default: return false;
  }
}

// A unit knows the request for the directory it keeps: the header or the
// compact block, never both; request 8 came with the compact units.
bool SimUnit::Knows(int code) const {
  switch (code) {
    case kReqHeader: return fw_.memory == MemoryKind::kHeader;
    case kReqCompactDirectory: return fw_.memory == MemoryKind::kCompact;
    case kReqPackingModes: return fw_.memory == MemoryKind::kCompact && !options_.noRequest8;
    case kReqMemorySize:
    case kReqImage:
    case kReqPanelStart:
    case kReqRestart: return true;
    default: return false;
  }
}

int SimUnit::PackingModesValue() const {
  // Without request 8 the unit packs in mode 0 only.
  if (options_.noRequest8) return 1;
  return options_.packingModes ? *options_.packingModes : fw_.defaultPackingModes;
}

void SimUnit::HandleSingle(uint8_t command) {
  auto status = [this](int natural) {
    return static_cast<uint8_t>(statusOverride_ >= 0 ? statusOverride_ : natural);
  };
  switch (command) {
    case kReqProbe: {
      // Request 15 is also the master's abort: it always ends a handshake.
      step_ = Step::kNone;
      ApplyRules(command, true);
      const uint8_t s = status(fw_.answers15WithZero ? kStatusOk : kStatusUnsupported);
      Emit(s);
      after15Zero_ = s == kStatusOk;
      return;
    }
    case kReqVersion: {
      // A unit that cannot name its version refuses the query rather than
      // answer with bytes the master would take for a code.
      ApplyRules(command, true);
      const uint8_t s = status(fw_.knowsVersion ? kStatusOk : kStatusUnsupported);
      Emit(s);
      if (s == kStatusOk)
        EmitBlock({fw_.versionBytes.begin(), fw_.versionBytes.end()}, true, spoilChecksum_);
      return;
    }
    case kReqPrepare: {
      ApplyRules(command, true);
      const uint8_t s = status(kStatusOk);
      Emit(s);
      if (s == kStatusOk) EmitBlock({kPrepareByte}, false, false);  // one byte: no checksum
      return;
    }
    default:
      break;
  }
  if (IsHandshaked(command)) {
    // First handshake read of a handshaked request. The handshake is the
    // same for every request; a request this unit lacks is refused at its
    // data step, so that the program's transfer completes with status 12.
    const uint16_t w = options_.handshake;
    Emit(kStatusOk);
    EmitBlock(Word(w), true, false);
    stepCommand_ = command;
    stepAt_ = Now();
    step_ = w == kHandshakeRepeat ? Step::kSecondWord : w == kHandshakeEcho ? Step::kWordWrite1 : Step::kNone;
    return;
  }
  ApplyRules(command, true);
  Emit(status(kStatusUnsupported));
}

void SimUnit::HandleHandshakeStep(uint8_t command) {
  switch (step_) {
    case Step::kSecondWord: {
      const uint16_t w = options_.secondHandshake.value_or(options_.handshake);
      Emit(kStatusOk);
      EmitBlock(Word(w), true, false);
      step_ = Step::kParameters;
      return;
    }
    case Step::kWordWrite1:
    case Step::kWordWrite2:
      Emit(kStatusOk);
      if (budget_ != 0) Expect(Incoming::kWord, 2);
      else step_ = Step::kNone;
      return;
    case Step::kParameters:
      Emit(kStatusOk);
      if (budget_ != 0) Expect(Incoming::kParameters, 4);
      else step_ = Step::kNone;
      return;
    case Step::kRefuse:
      // Parameters that came spoilt say nothing about the block: refused
      // rather than guessed at.
      Emit(kStatusUnsupported);
      step_ = Step::kNone;
      return;
    case Step::kData:
      step_ = Step::kNone;
      HandleData(command);
      return;
    case Step::kNone:
      return;
  }
}

void SimUnit::HandleData(uint8_t command) {
  ApplyRules(command, true);
  const int n = paramN_;
  const int mode = paramMode_;
  bool valid = Knows(command) && (mode == kModeNone || mode == kModeRead || mode == kModeWrite);
  // Commands take no block; the memory size and the packing modes are only
  // read; a header or a compact block is written whole or not at all.
  if (valid && n > 0 && mode != kModeNone) {
    switch (command) {
      case kReqPanelStart:
      case kReqRestart: valid = false; break;
      case kReqMemorySize:
      case kReqPackingModes: valid = mode == kModeRead; break;
      case kReqHeader:
        valid = mode == kModeRead || n == static_cast<int>(memory_.header.size());
        break;
      case kReqCompactDirectory: valid = mode == kModeRead || n == kCompactDirectoryBytes; break;
      default: break;
    }
  }
  const int status = statusOverride_ >= 0 ? statusOverride_ : valid ? kStatusOk : kStatusUnsupported;
  const bool statusSent = budget_ != 0;
  Emit(static_cast<uint8_t>(status));
  if (status != kStatusOk) return;
  if (n == 0 || mode == kModeNone) {
    if (command == kReqPanelStart) panelStarted_ = true;
    if (command == kReqRestart) Restart();
    return;
  }
  if (mode == kModeRead) {
    EmitBlock(ReadObject(command, n), n >= 2, spoilChecksum_);
  } else if (statusSent) {
    Expect(Incoming::kData, n);
    dataCommand_ = command;
  }
}

// Firmware that needs its panel started refuses the display until then, so
// that a panel that skips the start sees nothing.
void SimUnit::HandlePanel(uint8_t command) {
  const int code = command >= kReqPanelPoll ? kReqPanelPoll : kReqPanelKey;
  ApplyRules(code, true);
  const int natural = fw_.needsPanelStart && !panelStarted_ ? kStatusUnsupported : kStatusOk;
  const int status = statusOverride_ >= 0 ? statusOverride_ : natural;
  Emit(static_cast<uint8_t>(status));
  if (status != kStatusOk) return;
  const double now = Now();
  if (code == kReqPanelKey) display_.PressKey(command & 0x0F, now);
  EmitBlock(display_.Frame(now), true, spoilChecksum_);
}

void SimUnit::FinishIncoming() {
  const std::vector<uint8_t> data(incomingBytes_.begin(), incomingBytes_.begin() + incomingN_);
  const bool checksumOk =
      !incomingChecksum_ || Xor(data.data(), data.size()) == incomingBytes_.back();
  switch (incoming_) {
    case Incoming::kWord:
      if (tgx::GetLe16(data.data()) == kHandshakeEcho) {
        Emit(kStatusOk);
        step_ = step_ == Step::kWordWrite1 ? Step::kWordWrite2 : Step::kParameters;
      } else {
        Emit(kStatusUnsupported);
        step_ = Step::kNone;
      }
      break;
    case Incoming::kParameters:
      if (checksumOk) {
        paramN_ = tgx::GetLe16(data.data());
        paramMode_ = tgx::GetLe16(data.data() + 2);
        step_ = Step::kData;
        Emit(kStatusOk);
      } else {
        step_ = Step::kRefuse;
        Emit(kStatusBadChecksum);
      }
      break;
    case Incoming::kData:
      Emit(checksumOk ? StoreWrite(dataCommand_, data) : kStatusBadChecksum);
      break;
    case Incoming::kNone:
      break;
  }
  End();
}

std::vector<uint8_t> SimUnit::ReadObject(int code, int n) const {
  std::vector<uint8_t> out;
  switch (code) {
    case kReqHeader: out = memory_.header; break;
    case kReqImage: out = memory_.image; break;
    case kReqCompactDirectory: out = memory_.directory; break;
    case kReqMemorySize: {
      // Asked with fewer than four bytes, the unit tells at most what 16 bits hold.
      const uint32_t m = options_.memory.value_or(kDefaultMemory);
      out = LowBytes(n < 4 ? std::min<uint32_t>(m, 0xFFFF) : m, n);
      break;
    }
    case kReqPackingModes: out = LowBytes(static_cast<uint32_t>(PackingModesValue()), std::min(n, 2)); break;
    default: break;
  }
  out.resize(static_cast<size_t>(n), 0);
  return out;
}

uint8_t SimUnit::StoreWrite(int code, const std::vector<uint8_t>& data) {
  switch (code) {
    case kReqHeader:
      memory_.header = data;
      break;
    case kReqImage:
      memory_.image = data;
      break;
    case kReqCompactDirectory: {
      // A directory in a packing mode the unit cannot unpack would leave it
      // with tables it misreads: refused, the old directory stays.
      const int mode = tgx::GetLe16(data.data());
      if (mode >= std::max(1, PackingModesValue())) return kStatusUnsupported;
      memory_.directory = data;
      break;
    }
    default:
      return kStatusUnsupported;
  }
  SaveState();
  return kStatusOk;
}

void SimUnit::Restart() {
  ++memory_.restarts;
  panelStarted_ = false;
  display_ = SimDisplay(fw_.displayVariant, fw_.versionCode, fw_.knowsVersion);
  SaveState();
}

}  // namespace tgxsim
