#include "SimOptions.h"

#include <cerrno>
#include <cstdlib>

namespace tgxsim {
namespace {

bool ParseNumber(const std::string& s, long long min, long long max, long long& out) {
  if (s.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const long long v = std::strtoll(s.c_str(), &end, 0);  // decimal or 0x...
  if (errno != 0 || end == s.c_str() || *end != '\0' || v < min || v > max) return false;
  out = v;
  return true;
}

bool ParseHexWord(const std::string& s, uint16_t& out) {
  if (s.empty() || s.size() > 6) return false;
  char* end = nullptr;
  const unsigned long v = std::strtoul(s.c_str(), &end, 16);
  if (*end != '\0' || v > 0xFFFF) return false;
  out = static_cast<uint16_t>(v);
  return true;
}

// A request code as the rules name it: a number (decimal or 0x..), "key" for
// every 0xE0 | key request or "poll" for 0xF0.
bool ParseCode(const std::string& s, int& code) {
  if (s == "key") { code = 0xE0; return true; }
  if (s == "poll") { code = 0xF0; return true; }
  long long v = 0;
  if (!ParseNumber(s, 0, 255, v)) return false;
  code = static_cast<int>(v);
  if (code >= 0xF0) code = 0xF0;
  else if (code >= 0xE0) code = 0xE0;
  return true;
}

// "[CODE=]VALUE[@N]" (withValue) or "CODE[@N]" (!withValue).
bool ParseRule(std::string text, bool withValue, bool codeRequired, long long maxValue,
               FaultRule& rule) {
  rule = FaultRule{};
  if (const size_t at = text.find('@'); at != std::string::npos) {
    long long nth = 0;
    if (!ParseNumber(text.substr(at + 1), 1, 1000000000, nth)) return false;
    rule.nth = static_cast<int>(nth);
    text.resize(at);
  }
  std::string codeText, valueText;
  if (!withValue) {
    codeText = text;
  } else if (const size_t eq = text.find('='); eq != std::string::npos) {
    codeText = text.substr(0, eq);
    valueText = text.substr(eq + 1);
  } else {
    if (codeRequired) return false;
    valueText = text;
  }
  if (!codeText.empty() && !ParseCode(codeText, rule.code)) return false;
  if (codeText.empty() && codeRequired) return false;
  if (withValue) {
    long long v = 0;
    if (!ParseNumber(valueText, 0, maxValue, v)) return false;
    rule.value = static_cast<int>(v);
  }
  return true;
}

}  // namespace

ParseOutcome ParseOptions(const std::vector<std::string>& args, SimOptions& o,
                          std::string& error) {
  o = SimOptions{};
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) {
        error = a + " needs a value";
        return false;
      }
      out = args[++i];
      return true;
    };
    auto bad = [&](const std::string& v) {
      error = "bad value for " + a + ": '" + v + "'";
      return ParseOutcome::kError;
    };
    std::string v;
    if (a == "--help" || a == "-h") return ParseOutcome::kHelp;
    if (a == "--unknown-version") { o.unknownVersion = true; continue; }
    if (a == "--no-request-8") { o.noRequest8 = true; continue; }
    if (a == "--pace") { o.pace = true; continue; }
    if (a == "--exit-on-stdin-eof") { o.exitOnStdinEof = true; continue; }
    if (!value(v)) return ParseOutcome::kError;
    long long n = 0;
    FaultRule rule;
    if (a == "--version-code") {
      if (!ParseNumber(v, 0, 255999, n)) return bad(v);
      o.versionCode = static_cast<int>(n);
    } else if (a == "--version-bytes") {
      std::array<uint8_t, 3> bytes{};
      size_t start = 0;
      for (int k = 0; k < 3; ++k) {
        const size_t comma = v.find(',', start);
        const std::string part = v.substr(start, comma == std::string::npos ? std::string::npos
                                                                             : comma - start);
        if (!ParseNumber(part, 0, 255, n) || (k < 2) == (comma == std::string::npos))
          return bad(v);
        bytes[static_cast<size_t>(k)] = static_cast<uint8_t>(n);
        start = comma + 1;
      }
      o.versionBytes = bytes;
    } else if (a == "--state") {
      o.statePath = v;
    } else if (a == "--link") {
      o.linkPath = v;
    } else if (a == "--log") {
      o.logPath = v;
    } else if (a == "--handshake") {
      if (!ParseHexWord(v, o.handshake)) return bad(v);
    } else if (a == "--second-handshake") {
      uint16_t w = 0;
      if (!ParseHexWord(v, w)) return bad(v);
      o.secondHandshake = w;
    } else if (a == "--memory") {
      if (!ParseNumber(v, 0, 0xFFFFFFFFll, n)) return bad(v);
      o.memory = static_cast<uint32_t>(n);
    } else if (a == "--packing-modes") {
      if (!ParseNumber(v, 0, 0xFFFF, n)) return bad(v);
      o.packingModes = static_cast<int>(n);
    } else if (a == "--status") {
      if (!ParseRule(v, true, true, 255, rule)) return bad(v);
      o.status.push_back(rule);
    } else if (a == "--bad-checksum") {
      if (!ParseRule(v, false, true, 0, rule)) return bad(v);
      o.badChecksum.push_back(rule);
    } else if (a == "--silence-after") {
      if (!ParseRule(v, true, false, 1000000, rule)) return bad(v);
      o.silenceAfter.push_back(rule);
    } else if (a == "--byte-delay-ms") {
      if (!ParseRule(v, true, false, 60000, rule)) return bad(v);
      o.byteDelayMs.push_back(rule);
    } else {
      error = "unknown option " + a;
      return ParseOutcome::kError;
    }
  }
  if (!o.versionBytes && !o.unknownVersion && !VersionBytesOf(o.versionCode)) {
    error = "no version bytes give the code " + std::to_string(o.versionCode) +
            "; use --version-bytes";
    return ParseOutcome::kError;
  }
  return ParseOutcome::kRun;
}

Firmware FirmwareOf(const SimOptions& o) {
  const int code = o.versionBytes ? VersionCodeOf(*o.versionBytes) : o.versionCode;
  Firmware fw = FirmwareOfCode(code);
  if (o.versionBytes) fw.versionBytes = *o.versionBytes;
  if (o.unknownVersion) {
    // A unit that cannot name its version gets the seven-segment display
    // and is never started explicitly, as the panel treats it.
    fw.knowsVersion = false;
    fw.displayVariant = 0;
    fw.needsPanelStart = false;
  }
  return fw;
}

std::string UsageText() {
  return R"(Usage: tgx-sim [options]

Simulates the computing unit of a level-gauge installation on a pseudo-
terminal. Prints the terminal's path as the first line of standard output,
then answers the program's requests as a unit of the given firmware would.
Runs until SIGTERM or SIGINT (the state is saved and the link removed).
tgx-sim --version prints the program's name and version.

Unit:
  --version-code CODE   firmware version code (default 6320). 6210 is a 621a
                        unit: it answers request 15 with status 0 and takes the
                        single request 14 after it (it answers request 7 with
                        12). The version bytes are chosen so that the program
                        reads CODE back: 6343 -> 6,3,43; 6320 -> 6,3,2.
  --version-bytes A,B,C answer request 7 with these bytes; the code they give
                        decides the unit's layout and display
  --unknown-version     request 7 answers status 12 (version unknown); such a
                        unit has the seven-segment display and no panel start
  --handshake WORD      hexadecimal word of the first handshake read (1234 by
                        default; 5577; any other word makes every transfer fail)
  --second-handshake WORD  word of the second handshake read (default: the
                        first word)
  --memory N            memory size answered to request 2 (default 32768); a
                        2-byte answer is capped at 65535
  --packing-modes K     value answered to request 8 (highest accepted packing
                        mode + 1; default 1 for 853 units, 2 for 96x units)
  --no-request-8        request 8 answers status 12 (only packing mode 0)

Files and process:
  --state FILE          the unit's memory (table header, compact directory,
                        packed image, restart count) is loaded from FILE and
                        rewritten (temporary file + rename) after every change,
                        so tables survive restarts. A missing FILE starts with
                        no tables and is created; an unreadable or damaged FILE
                        stops the simulator without touching it. A header saved
                        by a unit of another header size is not used.
                        Without --state the memory starts with no tables.
  --link PATH           make PATH a symbolic link to the terminal (an existing
                        symbolic link is replaced; anything else is an error);
                        removed at exit. TGX_COM1=PATH then reaches the unit.
  --log FILE            one line per transaction, flushed at its end:
                        "> " bytes received " <" bytes sent, each byte as two
                        upper-case hexadecimal digits after one space, e.g.
                        "> 07 < 00 06 03 02 07". The file is emptied at start.
  --exit-on-stdin-eof   also exit when standard input reaches end of file

Faults (CODE is a request code, decimal or 0x.., "key" for every 0xE0|key
request, "poll" for 0xF0; @N limits a rule to the N-th request of that code,
counted from 1 since start; rules may be repeated):
  --status CODE=STATUS[@N]   answer with this status byte (e.g. 4, 12, 254)
  --bad-checksum CODE[@N]    send a wrong checksum byte after the data
  --silence-after [CODE=]N[@N]  send only the first N bytes of the reply
                        (status, data, checksum, acknowledgement) and then
                        nothing for that transaction; without CODE for every
                        transaction, handshake steps included
  --byte-delay-ms [CODE=]MS[@N] wait MS milliseconds before every byte sent
  --pace                run at the real speed of 9600 baud 8E1: a byte takes
                        11 bits (1.146 ms) on the line in either direction.
                        A reply's k-th byte leaves no sooner than k byte times
                        after the reply starts, less a lead of 100 ms that
                        the terminal holds against a stalled simulator, and
                        a received block is taken
                        in no faster: each byte is read off the terminal when
                        the line starts to carry it, so what the program has
                        written and not yet sent stays in the terminal's
                        queue (the program may still discard it). A sleep
                        that wakes late does not push the later bytes back,
                        so the rate holds on a busy machine

  For a handshaked request the rules of its code act on its last transaction
  (the data step), so the program's transfer completes and meets the fault;
  the handshake reads, handshake writes and parameter block are answered
  normally.

Choices the simulated unit makes:
  - A written block (more than 2 bytes) whose checksum does not match is
    acknowledged with status 11 and not stored. After a parameter block with
    a wrong checksum the transfer's next transaction is answered 12.
  - A handshake write other than 77 55 is acknowledged with 12 and the
    transfer is forgotten.
  - Reads return the first N bytes of the object asked for (header, image,
    directory); beyond its end they are zero. The memory size (request 2) and
    the packing-mode value (request 8) are sent little-endian in as many bytes
    as asked.
  - A header write (request 1) must be exactly the header size and a
    directory write (request 4) exactly 98 bytes, and a parameter block whose
    mode the request cannot do (a write of request 2, say) is refused: the
    data step answers 12 and nothing is received. A directory whose packing
    mode word is not below the request-8 value is acknowledged with 12 and
    not stored. The packed image (request 3) is stored as given.
  - Units of 8530 and above keep the 98-byte compact directory (request 4)
    and know request 8; the others keep the header of their firmware and
    refuse requests 4 and 8 (853 and 96x units refuse request 1). Every
    request of the handshaked set (1, 2, 3, 4, 8, 13, 14) goes through the
    handshake; one the unit lacks is refused with status 12 at its data step.
    Codes with no table driver of their own answer like a 632 unit. Other
    unknown request codes answer status 12 at once.
  - Request 20 answers status 0 and the byte 01.
  - A reply still being sent when the master sends again is cut short: the
    master has given up on it.
  - Request 14 following a request 15 that was answered with status 0 is the
    single restart of the 621a identification; otherwise it is handshaked.
    A restart is counted in the state file, returns the display to its main
    screen and ends the panel start.
  - Units with a known version code of 6350 or above answer the display poll
    and keys with status 12 until the panel is started (request 13).
  - A handshake that is not continued within 1 s of the unit's last answer,
    or is interrupted by another command, is forgotten; request 15 always
    ends it. A written block that stops for 100 ms is dropped without an
    acknowledgement.
  - Display: 13-byte frames (seven segments, decimal point in bit 7) for
    codes whose last three digits are 350 or less or an unknown version,
    33-byte frames (two lines of 16 characters) otherwise, in the character
    codes of the display (6360: the first character display, the others the
    second). Byte 0 of a frame counts the keys taken, modulo 256. It shows
    channel 1's level and volume, moving over time, and a menu:
      digits  choose the channel (0 = 10); in the menu open item 1..4
      + or ,  next channel or menu item    -  previous one
      m       menu; in the menu open the chosen item
      q       back to the main screen      z  freeze or resume the readings
    Menu items: 1 level and volume, 2 temperature, 3 firmware version, 4 the
    last key and the number of keys.

Exit status: 0 after SIGTERM, SIGINT or end of input; 1 when the terminal,
the link or the state file fails; 64 for a usage error.
)";
}

}  // namespace tgxsim
