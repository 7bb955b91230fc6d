#pragma once
// Every code of the link with the unit, each under one name: the requests the
// unit knows, the status bytes it answers with, the transport's outcomes, and
// the session's operations and result codes. The program, tgxctl and tgx-sim
// all take them from here.

#include <cstdint>
#include <string>

// ---------------------------------------------------------------- requests
// The command byte is the code OR-ed with a sub-address of four bits; only the
// remote panel's requests use a sub-address (the key).
constexpr uint8_t kReqHeader = 1;            // handshaked: the table header, read and written whole
constexpr uint8_t kReqMemorySize = 2;        // handshaked: memory for tables, 16-bit (32-bit on a "96XX")
constexpr uint8_t kReqImage = 3;             // handshaked: the packed tables
constexpr uint8_t kReqCompactDirectory = 4;  // handshaked: the 98-byte directory of the 853 and 96x units
constexpr uint8_t kReqVersion = 7;           // single: three version bytes
constexpr uint8_t kReqPackingModes = 8;      // handshaked: one more than the highest packing mode taken
constexpr uint8_t kReqPanelStart = 13;       // handshaked: start the remote panel
constexpr uint8_t kReqRestart = 14;          // single during identification, handshaked after a change
constexpr uint8_t kReqProbe = 15;            // single: identification probe, and the abort of a handshake
constexpr uint8_t kReqPrepare = 20;          // single: one byte, before every header access
constexpr uint8_t kReqPanelKey = 0xE0;       // single: OR the key; answers the display
constexpr uint8_t kReqPanelPoll = 0xF0;      // single: the display

// Transaction modes: which way the data phase goes.
constexpr int32_t kModeNone = 0;
constexpr int32_t kModeRead = 1;   // the unit sends the block
constexpr int32_t kModeWrite = 2;  // the program sends the block

// Words the unit opens a handshaked request with.
constexpr uint16_t kHandshakeRepeat = 0x1234;  // read the word once more
constexpr uint16_t kHandshakeEcho = 0x5577;    // write it back twice

// ---------------------------------------------------------------- status bytes
constexpr int32_t kStatusOk = 0;             // accepted; the data phase follows
constexpr int32_t kStatusUnitFault = 4;
constexpr int32_t kStatusLinkFailure = 6;    // set by the transport after any failure; never sent
constexpr int32_t kStatusUnsupported = 12;   // the unit does not know the request
constexpr int32_t kStatusInitialising = 254;

// ---------------------------------------------------------------- transport
// Outcome of one byte wait.
constexpr int32_t kByteReceived = 0;
constexpr int32_t kByteFailed = 1;    // the read failed, or the session was cancelled
constexpr int32_t kByteChecksum = 2;  // a read block's checksum differs (block level only)
constexpr int32_t kByteTimeout = 3;

// Transaction results. A failed wait makes the result of its step from the
// byte error: the status byte's wait gives the byte error itself, the
// acknowledgement after a written block 4 plus it, a read block 9 plus it.
constexpr int32_t kTransactionOk = 0;  // complete; the status byte may still refuse
constexpr int32_t StatusWaitResult(int32_t byteError) { return byteError; }
constexpr int32_t AckWaitResult(int32_t byteError) { return 4 + byteError; }
constexpr int32_t BlockResult(int32_t byteError) { return 9 + byteError; }

constexpr int32_t kStatusWaitFailed = StatusWaitResult(kByteFailed);    // 1
constexpr int32_t kStatusWaitTimeout = StatusWaitResult(kByteTimeout);  // 3
constexpr int32_t kAckFailed = AckWaitResult(kByteFailed);              // 5
constexpr int32_t kAckTimeout = AckWaitResult(kByteTimeout);            // 7
constexpr int32_t kBlockCancelled = BlockResult(kByteReceived);         // 9: cancelled after a byte that came
constexpr int32_t kBlockFailed = BlockResult(kByteFailed);              // 10
constexpr int32_t kBlockChecksum = BlockResult(kByteChecksum);          // 11
constexpr int32_t kBlockTimeout = BlockResult(kByteTimeout);            // 12

// ---------------------------------------------------------------- session
// What a session does. `using enum SessionOperation` brings the names into a
// class that carries an operation.
enum SessionOperation : uint8_t { kOpWrite = 0, kOpRead = 1, kOpDelete = 2 };

// A session's result code is the status byte of the request that ended it
// (kStatusLinkFailure when the request failed), or one of the drivers' own:
constexpr int32_t kResultPackError = 80;     // a table does not fit the packing mode
constexpr int32_t kResultNoDriver = 81;      // no driver for the firmware, or request 8 unknown
constexpr int32_t kResultBadOperation = 82;  // an operation other than write, read, delete
constexpr int32_t kResultNoMemory = 83;      // the packed tables do not fit the unit

// The session's status text of a result code (Windows-1251).
std::string ResultText(int32_t resultCode);
// The status text when the port could not be opened (Windows-1251).
std::string PortBusyText();
