#include "SimUnit.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>

namespace tgxsim {
namespace {

constexpr uint8_t kStatusOk = 0;
constexpr uint8_t kStatusUnknown = 12;
// Acknowledgement of a written block whose checksum does not match.
constexpr uint8_t kStatusBadChecksum = 11;
constexpr uint8_t kPrepareByte = 0x01;
constexpr uint32_t kDefaultMemory = 32768;
// A handshake not continued within this time belongs to a master that gave up.
// Counted from the moment the unit's last answer has left it.
constexpr double kHandshakeForgetSeconds = 1.0;
constexpr double kPacedByteSeconds = 11.0 / 9600.0;
// The master sends a block back to back; a pause this long means it stopped.
constexpr double kBlockStallSeconds = 0.1;
constexpr size_t kMaxStateFileBytes = 1 << 20;
constexpr size_t kMaxImageBytes = 0xFFFF;  // the parameter block's length is 16-bit
constexpr char kStateMagic[] = "tgx-sim state 1";

constexpr uint8_t kCodeHeader = 1;
constexpr uint8_t kCodeMemorySize = 2;
constexpr uint8_t kCodeImage = 3;
constexpr uint8_t kCodeDirectory = 4;
constexpr uint8_t kCodeVersion = 7;
constexpr uint8_t kCodePackingModes = 8;
constexpr uint8_t kCodePanelStart = 13;
constexpr uint8_t kCodeRestart = 14;
constexpr uint8_t kCodeProbe = 15;
constexpr uint8_t kCodePrepare = 20;
constexpr int kCodeKey = 0xE0;
constexpr int kCodePoll = 0xF0;

enum Mode { kModeNone = 0, kModeRead = 1, kModeWrite = 2 };

double SteadySeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

uint8_t Xor(const uint8_t* p, size_t n) {
  uint8_t x = 0;
  for (size_t i = 0; i < n; ++i) x ^= p[i];
  return x;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string s;
  s.reserve(bytes.size() * 2);
  for (uint8_t b : bytes) {
    s += digits[b >> 4];
    s += digits[b & 15];
  }
  return s;
}

bool Unhex(const std::string& s, std::vector<uint8_t>& out, size_t maxBytes) {
  if (s.size() % 2 != 0 || s.size() / 2 > maxBytes) return false;
  out.clear();
  out.reserve(s.size() / 2);
  auto nibble = [](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  for (size_t i = 0; i < s.size(); i += 2) {
    const int hi = nibble(s[i]), lo = nibble(s[i + 1]);
    if (hi < 0 || lo < 0) return false;
    out.push_back(static_cast<uint8_t>(hi * 16 + lo));
  }
  return true;
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

UnitMemory SimUnit::FreshMemory(const Firmware& fw) {
  UnitMemory m;
  m.directory.assign(kCompactDirectoryBytes, 0);
  if (fw.memory != MemoryKind::kHeader) return m;
  const HeaderGeometry& g = fw.header;
  m.header.resize(static_cast<size_t>(g.size));
  for (size_t i = 0; i < m.header.size(); ++i) {
    const uint8_t b = static_cast<uint8_t>((i * 37 + 11) ^ 0xA5);
    m.header[i] = b ? b : 0x5A;
  }
  // Slot flags with other bits set but no table stored (bit 2 clear).
  for (int p = 0; p < kSlotCount; ++p) {
    if (g.byteFlags) {
      m.header[static_cast<size_t>(g.flagsOffset + p)] = static_cast<uint8_t>((0x83 + p * 0x10) & ~4);
    } else {
      const int w = (0x0A03 + p * 0x0110) & ~4;
      m.header[static_cast<size_t>(g.flagsOffset + 2 * p)] = static_cast<uint8_t>(w & 0xFF);
      m.header[static_cast<size_t>(g.flagsOffset + 2 * p + 1)] = static_cast<uint8_t>(w >> 8);
    }
  }
  std::fill_n(m.header.begin() + g.recordsOffset, kDirectoryRecordBytes, 0);
  return m;
}

bool SimUnit::Start(std::string& error) {
  if (!options_.statePath.empty()) {
    std::ifstream in(options_.statePath, std::ios::binary);
    if (in) {
      std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      if (text.size() > kMaxStateFileBytes) {
        error = "state file " + options_.statePath + " is too large";
        return false;
      }
      std::istringstream lines(text);
      std::string line;
      if (!std::getline(lines, line) || line != kStateMagic) {
        error = "state file " + options_.statePath + " is not a tgx-sim state";
        return false;
      }
      UnitMemory loaded = FreshMemory(fw_);
      while (std::getline(lines, line)) {
        const size_t space = line.find(' ');
        const std::string key = line.substr(0, space);
        const std::string value = space == std::string::npos ? "" : line.substr(space + 1);
        std::vector<uint8_t> bytes;
        bool ok = true;
        if (key == "header") {
          ok = Unhex(value, bytes, 4096);
          // A header of another layout would be misread by this firmware.
          if (ok && fw_.memory == MemoryKind::kHeader && bytes.size() == loaded.header.size())
            loaded.header = bytes;
        } else if (key == "directory") {
          ok = Unhex(value, bytes, kCompactDirectoryBytes);
          if (ok && bytes.size() == kCompactDirectoryBytes) loaded.directory = bytes;
        } else if (key == "image") {
          ok = Unhex(value, bytes, kMaxImageBytes);
          if (ok) loaded.image = bytes;
        } else if (key == "restarts") {
          char* end = nullptr;
          const long n = std::strtol(value.c_str(), &end, 10);
          ok = !value.empty() && *end == '\0' && n >= 0 && n < 1000000000;
          if (ok) loaded.restarts = static_cast<int>(n);
        }
        if (!ok) {
          error = "state file " + options_.statePath + " is damaged at '" + key + "'";
          return false;
        }
      }
      memory_ = std::move(loaded);
    } else if (errno != ENOENT) {
      error = "cannot read state file " + options_.statePath + ": " + std::strerror(errno);
      return false;
    } else {
      SaveState();
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
  std::string text = std::string(kStateMagic) + "\n";
  text += "firmware " + std::to_string(fw_.versionCode) + "\n";
  text += "header " + Hex(memory_.header) + "\n";
  text += "directory " + Hex(memory_.directory) + "\n";
  text += "image " + Hex(memory_.image) + "\n";
  text += "restarts " + std::to_string(memory_.restarts) + "\n";

  // Written beside the file and renamed over it, so that a crash never
  // leaves half a memory behind.
  const std::string tmp = options_.statePath + ".tmp." + std::to_string(getpid());
  const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  bool ok = fd >= 0;
  size_t done = 0;
  while (ok && done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += static_cast<size_t>(n);
  }
  if (ok) ok = ::fsync(fd) == 0;
  if (fd >= 0 && ::close(fd) != 0) ok = false;
  if (ok) ok = std::rename(tmp.c_str(), options_.statePath.c_str()) == 0;
  if (!ok) {
    std::fprintf(stderr, "tgx-sim: cannot save state to %s: %s\n", options_.statePath.c_str(),
                 std::strerror(errno));
    ::unlink(tmp.c_str());
  }
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
    } else if (byte >= kCodeKey) {
      HandlePanel(byte);
    } else if (byte == kCodeRestart && after15Zero) {
      // The 621a identification restarts the unit with a single request 14.
      ApplyRules(kCodeRestart, true);
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

bool SimUnit::IsHandshaked(int code) {
  switch (code) {
    case kCodeHeader:
    case kCodeMemorySize:
    case kCodeImage:
    case kCodeDirectory:
    case kCodePackingModes:
    case kCodePanelStart:
    case kCodeRestart: return true;
    default: return false;
  }
}

bool SimUnit::Knows(int code) const {
  switch (code) {
    case kCodeHeader: return fw_.memory == MemoryKind::kHeader;
    case kCodeDirectory: return fw_.memory == MemoryKind::kCompact;
    case kCodePackingModes: return fw_.memory == MemoryKind::kCompact && !options_.noRequest8;
    case kCodeMemorySize:
    case kCodeImage:
    case kCodePanelStart:
    case kCodeRestart: return true;
    default: return false;
  }
}

int SimUnit::PackingModesValue() const {
  if (options_.noRequest8) return 1;
  return options_.packingModes ? *options_.packingModes : fw_.defaultPackingModes;
}

void SimUnit::HandleSingle(uint8_t command) {
  auto status = [this](int natural) {
    return static_cast<uint8_t>(statusOverride_ >= 0 ? statusOverride_ : natural);
  };
  switch (command) {
    case kCodeProbe: {
      step_ = Step::kNone;  // also the abort of a failed handshake
      ApplyRules(command, true);
      const uint8_t s = status(fw_.answers15WithZero ? kStatusOk : kStatusUnknown);
      Emit(s);
      after15Zero_ = s == kStatusOk;
      return;
    }
    case kCodeVersion: {
      ApplyRules(command, true);
      const uint8_t s = status(fw_.knowsVersion ? kStatusOk : kStatusUnknown);
      Emit(s);
      if (s == kStatusOk)
        EmitBlock({fw_.versionBytes.begin(), fw_.versionBytes.end()}, true, spoilChecksum_);
      return;
    }
    case kCodePrepare: {
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
    EmitBlock({static_cast<uint8_t>(w & 0xFF), static_cast<uint8_t>(w >> 8)}, true, false);
    stepCommand_ = command;
    stepAt_ = Now();
    step_ = w == 0x1234 ? Step::kSecondWord : w == 0x5577 ? Step::kWordWrite1 : Step::kNone;
    return;
  }
  ApplyRules(command, true);
  Emit(status(kStatusUnknown));
}

void SimUnit::HandleHandshakeStep(uint8_t command) {
  switch (step_) {
    case Step::kSecondWord: {
      const uint16_t w = options_.secondHandshake.value_or(options_.handshake);
      Emit(kStatusOk);
      EmitBlock({static_cast<uint8_t>(w & 0xFF), static_cast<uint8_t>(w >> 8)}, true, false);
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
      Emit(kStatusUnknown);
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
  if (valid && n > 0 && mode != kModeNone) {
    switch (command) {
      case kCodePanelStart:
      case kCodeRestart: valid = false; break;
      case kCodeMemorySize:
      case kCodePackingModes: valid = mode == kModeRead; break;
      case kCodeHeader:
        valid = mode == kModeRead || n == static_cast<int>(memory_.header.size());
        break;
      case kCodeDirectory: valid = mode == kModeRead || n == kCompactDirectoryBytes; break;
      default: break;
    }
  }
  const int status = statusOverride_ >= 0 ? statusOverride_ : valid ? kStatusOk : kStatusUnknown;
  const bool statusSent = budget_ != 0;
  Emit(static_cast<uint8_t>(status));
  if (status != kStatusOk) return;
  if (n == 0 || mode == kModeNone) {
    if (command == kCodePanelStart) panelStarted_ = true;
    if (command == kCodeRestart) Restart();
    return;
  }
  if (mode == kModeRead) {
    EmitBlock(ReadObject(command, n), n >= 2, spoilChecksum_);
  } else if (statusSent) {
    Expect(Incoming::kData, n);
    dataCommand_ = command;
  }
}

void SimUnit::HandlePanel(uint8_t command) {
  const int code = command >= kCodePoll ? kCodePoll : kCodeKey;
  ApplyRules(code, true);
  const int natural = fw_.needsPanelStart && !panelStarted_ ? kStatusUnknown : kStatusOk;
  const int status = statusOverride_ >= 0 ? statusOverride_ : natural;
  Emit(static_cast<uint8_t>(status));
  if (status != kStatusOk) return;
  const double now = Now();
  if (code == kCodeKey) display_.PressKey(command & 0x0F, now);
  EmitBlock(display_.Frame(now), true, spoilChecksum_);
}

void SimUnit::FinishIncoming() {
  const std::vector<uint8_t> data(incomingBytes_.begin(), incomingBytes_.begin() + incomingN_);
  const bool checksumOk =
      !incomingChecksum_ || Xor(data.data(), data.size()) == incomingBytes_.back();
  switch (incoming_) {
    case Incoming::kWord:
      if (data[0] == 0x77 && data[1] == 0x55) {
        Emit(kStatusOk);
        step_ = step_ == Step::kWordWrite1 ? Step::kWordWrite2 : Step::kParameters;
      } else {
        Emit(kStatusUnknown);
        step_ = Step::kNone;
      }
      break;
    case Incoming::kParameters:
      if (checksumOk) {
        paramN_ = data[0] | data[1] << 8;
        paramMode_ = data[2] | data[3] << 8;
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
  auto little = [&out](uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  switch (code) {
    case kCodeHeader: out = memory_.header; break;
    case kCodeImage: out = memory_.image; break;
    case kCodeDirectory: out = memory_.directory; break;
    case kCodeMemorySize: {
      const uint32_t m = options_.memory.value_or(kDefaultMemory);
      little(n < 4 ? std::min<uint32_t>(m, 0xFFFF) : m, std::min(n, 4));
      break;
    }
    case kCodePackingModes: little(static_cast<uint32_t>(PackingModesValue()), std::min(n, 2)); break;
    default: break;
  }
  out.resize(static_cast<size_t>(n), 0);
  return out;
}

uint8_t SimUnit::StoreWrite(int code, const std::vector<uint8_t>& data) {
  switch (code) {
    case kCodeHeader:
      memory_.header = data;
      break;
    case kCodeImage:
      memory_.image = data;
      break;
    case kCodeDirectory: {
      const int mode = data[0] | data[1] << 8;
      if (mode >= std::max(1, PackingModesValue())) return kStatusUnknown;
      memory_.directory = data;
      break;
    }
    default:
      return kStatusUnknown;
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
