/// @file
/// The device link: one object per attached device, owning the serial port,
/// the lock that serialises the port between threads, and the identity of
/// the device found on it. Plain class, integer result codes, no exceptions.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "devicelink/Families.h"
#include "devicelink/ResultCodes.h"
#include "diagnostics/Trace.h"
#include "package/Package.h"
#include "platform/AutoResetEvent.h"
#include "platform/SerialPort.h"
#include "platform/Thread.h"
#include "serial/BKSerial.h"
#include "ui/MessageWindow.h"
#include "ui/ProgressBar.h"

/// @name Link-rate codes
/// @{

/// Link-rate codes: rate = 921600 / (code + 1). A device starts at 115200.
constexpr uint32_t kBaudCode921600 = 0;
constexpr uint32_t kBaudCode460800 = 1;
constexpr uint32_t kBaudCode230400 = 3;
constexpr uint32_t kBaudCode115200 = 7;
/// @}
/// The rate of code 0, which the others divide.
constexpr int kLinkRateBase = 921600;
/// The rate every device starts at and goes back to (code kBaudCode115200).
constexpr int kStartLinkRate = kLinkRateBase / (kBaudCode115200 + 1);

/// How long a command waits for the port lock.
constexpr int kPortLockWaitMs = 1200;
/// The read time-out of an ordinary request.
constexpr int kDefaultReadTimeoutMs = 300;
/// The read time-out of the confirmation at a new link rate.
constexpr int kLinkRateReadTimeoutMs = 110;
/// The pause after device and port moved to another link rate.
constexpr int kAfterRateChangePauseMs = 10;
/// The read time-out of an upload's replies.
constexpr int kLongReadTimeoutMs = 6000;

/// The device took the request.
constexpr uint8_t kAck = 'O';
/// The device does not know the command.
constexpr uint8_t kUnknownCommand = '?';

/// Size of the hardware version block at configuration addresses 1..7.
constexpr int kHardwareVersionInfoSize = 7;
/// Description and path buffers hold 260 characters with the terminator.
constexpr int kTextCapacity = 260;

/// DetectHardware options: scan from COM1 and do not remember the port.
constexpr int kDetectFromFirstPort = 0x1;
/// SetBank/GetBank lock flags: the caller already holds the port lock.
constexpr int kCallerHoldsLock = 0x1;

/// Transfer options of the block and bulk transfers.
constexpr uint32_t QX_XFER_ALT_WRITE = 0x01;    ///< block writes with 'X' (16-bit sum reply)
constexpr uint32_t QX_XFER_WRITE_LOWER = 0x02;  ///< block writes with 'w'
constexpr uint32_t QX_XFER_NO_BULK = 0x04;      ///< no bulk attempt first
constexpr uint32_t QX_XFER_PLAIN = 0x08;        ///< Dunmarra: no markers, no scrambling

/// One raised link rate tried by BKQuillex::RaiseLinkRate, and how it went.
enum class RateTrial {
    Carried,  ///< the device took it and its reply came through at it
    Refused,  ///< the device did not take it (or cannot change its rate)
    Garbled,  ///< taken, but its reply did not come through: the bridge cannot make it
};
/// A rate tried and how it went.
struct LinkRateAttempt {
    int rate = 0;                            ///< bits per second
    RateTrial outcome = RateTrial::Refused;  ///< how it went
};

/// How far the last firmware upload came, for telling the user what the
/// device is left with: it stores the image only after its final status.
enum class UploadStage {
    Checks,       ///< refused before the port was taken: nothing was sent
    Port,         ///< the port was busy: nothing was sent
    Command,      ///< the upload command or its reply
    Blocks,       ///< a block or its reply
    FinalStatus,  ///< waiting for, or judging, the final status byte
    Finished,     ///< the final status said success
};
/// What BKQuillex::LastUpload reports.
struct UploadRecord {
    UploadStage stage = UploadStage::Checks;  ///< where it ended
    uint32_t blocks = 0;              ///< transmissions of the body (the last carries the sum)
    uint32_t blocksSent = 0;          ///< written whole
    uint32_t blocksAcknowledged = 0;  ///< answered 'O'
    uint64_t bytesSent = 0;           ///< command and blocks
    int finalStatus = -1;             ///< the final status byte, or -1 when none came
};

class BKQuillex;
/// How one read path names itself in its trace lines.
struct ReadPathLines;

/// The background-task record of a device object: what EmuThreadProc runs
/// and whom it tells.
struct EmuTaskRecord {
    BKQuillex* Device = nullptr;                ///< the device object that transfers
    ui::MessageWindow* NotifyWindow = nullptr;  ///< receives the completion message
    unsigned NotifyMessage = 0;                 ///< sent with lParam = result
    ui::ProgressBar* Progress = nullptr;        ///< or null
    int Task = 0;                               ///< kEmuTaskRead, kEmuTaskWrite or kEmuTaskVerify
    /// Destination of a read, source of a write or verify; the caller's.
    uint8_t* Data = nullptr;
    uint32_t Address = 0;  ///< device memory address
    uint32_t Size = 0;     ///< bytes
    uint32_t Options = 0;  ///< QX_XFER_* flags
};

constexpr int kEmuTaskRead = 1;    ///< EmuTaskRecord::Task: read device memory
constexpr int kEmuTaskWrite = 2;   ///< EmuTaskRecord::Task: write device memory
constexpr int kEmuTaskVerify = 3;  ///< EmuTaskRecord::Task: compare device memory

/// Runs the task's transfer, traces and sends its result (lParam) to the
/// notify window, waiting until it has been handled. Returns 1.
int EmuThreadProc(EmuTaskRecord* task);

/// The device link; see the file's description. Every command returns a
/// result code (ResultCodes.h) unless it says otherwise.
class BKQuillex {
  public:
    BKQuillex();
    ~BKQuillex();
    BKQuillex(const BKQuillex&) = delete;
    BKQuillex& operator=(const BKQuillex&) = delete;

    /// Port lock: 0 when taken, QX_E_PORT_BUSY when the wait timed out.
    int LockPort(int timeoutMs);
    /// Gives the port lock back.
    int UnlockPort();

    /// Port settings; neither takes the lock nor talks to the device.
    int SetReadTimeout(int milliseconds);
    int SetPortBaud(int baud);  ///< 1 on success, 0 on failure

    /// Raw transfer; callers hold the port lock. Byte counts, 0 on failure.
    int ReadPort(uint8_t* buffer, int count);
    /// See ReadPort.
    int WritePort(const uint8_t* buffer, int count);

    /// The 8-bit sum of the bytes, as requests carry it.
    static uint8_t Checksum8(const uint8_t* data, int length);

    /// The version detection found.
    int GetFirmwareVersion(::FirmwareVersion* out) const;
    /// The memory the identified device emulates, in bytes.
    int GetMemorySize() const;
    /// The memory above offset in the current emulation bank.
    int GetMemoryRemaining(unsigned offset) const;
    /// The port (COM number) and link-rate code a device was last found at.
    void GetLastPort(int* portNumber, int* baudCode) const;
    /// Where the next detection looks first.
    void SetLastPort(unsigned portNumber, int baudCode);

    /// Port opening and link rate.
    int InitPort(const char* portName, int baud);
    /// Moves device and port to the link rate of baudCode (force: also
    /// when it is the rate already).
    int SetUSBBaud(int baudCode, int force);
    /// Closes the port; the device stays as it is.
    void ClosePort();
    /// Moves an identified device and its port to the fastest link rate that
    /// carries a reply: 921600, else 460800, else 230400, else stays at
    /// 115200. Each rate taken is confirmed with a version request at it;
    /// a rate whose reply does not come through is left for 115200, where
    /// the device goes back on a request it cannot read. QX_S_OK with the
    /// rate in UsbBaudCode, or QX_E_DEVICE_NOT_FOUND when the device answers
    /// at none of them any more. Each rate tried goes to *attempts.
    int RaiseLinkRate(std::vector<LinkRateAttempt>* attempts);

    /// Discovery and identification.
    int RequestFirmwareVersion(::FirmwareVersion* out);
    /// Looks for a device on the ports of the table, the port it was last
    /// found on first (unless options has kDetectFromFirstPort). The
    /// hardware flag word, 0 when none answered; description and version
    /// describe what was found.
    uint32_t DetectHardware(char* description, int descriptionSize, ::FirmwareVersion* version,
                            int options);
    /// The same detection on port COMn alone (n = 1..255), remembering nothing;
    /// lets a program probe several ports at once, one device object each.
    uint32_t DetectHardwareOnPort(int portNumber, char* description, int descriptionSize,
                                  ::FirmwareVersion* version);
    /// The same on the port at a device path, whatever the table says: a
    /// device keeps its path while ports come and go around it.
    uint32_t DetectHardwareOnPath(const char* path, char* description, int descriptionSize,
                                  ::FirmwareVersion* version);
    /// The flag word of the device behind version (reading its
    /// configuration memory where the family needs it); also kept in
    /// HardwareFlags.
    uint32_t IdentifyHardware(const ::FirmwareVersion* version);
    /// The 7-byte hardware version block of configuration memory.
    int ReadHardwareVersion(uint8_t* out);
    /// The text that names a device for people ("Quillex on USB ...").
    void GetHardwareDescription(uint32_t flags, const ::FirmwareVersion* version, char* text,
                                int textSize);

    /// Configuration memory (size 1..256) and banks.
    int ReadEEPROM(uint8_t* buffer, uint16_t address, uint16_t size);
    /// See ReadEEPROM.
    int WriteEEPROM(const uint8_t* data, uint16_t address, uint16_t size);
    /// Selects the emulation bank (readWrite 0) or the read/write bank
    /// (1); lockFlags: kCallerHoldsLock when the caller has the lock.
    int SetBank(int bank, int readWrite, int staticBank, int lockFlags);
    /// The bank SetBank would set, read from the device.
    int GetBank(int32_t* bank, int readWrite, int staticBank, int lockFlags);

    /// Writes a firmware package into the identified device: one loaded
    /// and checked already (exactly its bytes go out), or the file at path,
    /// read once and held so that nobody else can open it until the end.
    int UpdateFirmware(const Package& package, ui::ProgressBar* progress);
    /// See above. Defined beside the package files (files/), so the device
    /// link itself opens no file: the file is loaded once and the loaded
    /// package goes out.
    int UpdateFirmware(const char* path, ui::ProgressBar* progress);
    /// How far the last UpdateFirmware came.
    const UploadRecord& LastUpload() const { return lastUpload_; }

    /// Device memory in block packets (256 bytes) after trying the bulk
    /// commands (2048-byte reads, 4096-byte writes); Verify reads back and
    /// compares: 1 same, 0 different, or a negative result code. Progress
    /// goes to the bar when given; CancelRequested stops between packets.
    int ReadBlock(uint8_t* destination, uint32_t size, uint32_t address, uint32_t options,
                  ui::ProgressBar* progress);
    /// See ReadBlock.
    int WriteBlock(const uint8_t* source, uint32_t size, uint32_t address, uint32_t options,
                   ui::ProgressBar* progress);
    /// Reads in bulk packets only.
    int BulkRead(uint8_t* destination, uint32_t size, uint32_t address, uint32_t options,
                 ui::ProgressBar* progress);
    /// Writes in bulk packets only.
    int BulkWrite(const uint8_t* source, uint32_t size, uint32_t address, uint32_t options,
                  ui::ProgressBar* progress);
    /// See ReadBlock.
    int Verify(const uint8_t* expected, uint32_t address, uint32_t length,
               ui::ProgressBar* progress);
    /// The byte scrambling of Dunmarra packets; a null key (or length 0)
    /// selects the built-in one. 0, or E_FAIL for a null buffer or no bytes.
    static int32_t ScrambleBytes(const uint8_t* key, int keyLength, uint8_t* buffer,
                                 uint32_t length, uint8_t* chain);
    /// Undoes ScrambleBytes for a chain that starts at seed.
    static int32_t UnscrambleBytes(uint8_t seed, const uint8_t* key, int keyLength, uint8_t* buffer,
                                   uint32_t length);

    /// Emulation mode of a Dunmarra: 1 ('E') or 2 ('T'); 0 when none was read.
    int GetEmulationMode();
    /// Sets it (1 or 2); other families ignore it.
    int SetEmulationMode(int mode);
    /// Background transfers: each fills EmuTask and runs EmuThreadProc on a
    /// new thread; null when none could be started. The data must stay valid
    /// until the completion message has arrived.
    std::unique_ptr<platform::ThreadHandle> StartReadBlockTask(uint8_t* destination, uint32_t size,
                                                               uint32_t address, uint32_t options,
                                                               ui::MessageWindow* notifyWindow,
                                                               unsigned notifyMessage,
                                                               ui::ProgressBar* progress);
    /// See StartReadBlockTask.
    std::unique_ptr<platform::ThreadHandle> StartWriteBlockTask(
        const uint8_t* source, uint32_t size, uint32_t address, uint32_t options,
        ui::MessageWindow* notifyWindow, unsigned notifyMessage, ui::ProgressBar* progress);
    /// See StartReadBlockTask.
    std::unique_ptr<platform::ThreadHandle> StartVerifyTask(const uint8_t* expected,
                                                            uint32_t address, uint32_t length,
                                                            ui::ProgressBar* progress,
                                                            ui::MessageWindow* notifyWindow,
                                                            unsigned notifyMessage);

    /// Identity of a Dunmarra: 9 serial bytes; the vendor identifier.
    int GetSerialNumber(uint8_t* out, int size);
    /// See GetSerialNumber.
    int SetVendorID(uint8_t vendorId);
    /// Raw transfers under the lock; the byte count moved goes to *written /
    /// *received when given.
    int SendRaw(const void* buffer, int count, int purge, int* written);
    /// See SendRaw.
    int ReadRaw(void* buffer, int count, int purge, int* received);
    /// 0 for "OO", 1 for "BB", -1 otherwise, QX_E_PORT_BUSY when busy.
    int QueryStatus();
    /// The device's three status words.
    int ReadStatusWords(uint16_t* last, uint16_t* middle, uint16_t* first);
    /// Pass-through over the device's data link; the link rate picks the
    /// form (160 listen, 8192 or 19200 request). Bytes received, or 0, -1 or
    /// QX_E_PORT_BUSY. With the trailer, reply holds replyLength + 6 bytes.
    int LinkExchange(int linkRate, int requestLength, int replyLength, const uint8_t* request,
                     uint8_t* reply, int withTrailer);
    /// 1 when a peer on the data link answers the probe, else 0.
    int IsConnected(const uint8_t* probe, int probeLength, int replyLength);
    /// IsConnected for a device that has a data link; 0 with the reason in
    /// ThreadLastError otherwise.
    int CheckLinkConnection(const uint8_t* probe, int probeLength, int replyLength);

    /// Trace lines of this object go to target (null: nowhere).
    void SetTraceTarget(TraceSink* target) { TraceTarget = target; }
    /// Why the last InitPort could not open its port.
    platform::OpenError LastOpenError() const { return lastOpenError_; }

    int32_t PortOpen = 0;                              ///< a port is open
    int32_t LinkConnected = 0;                         ///< a device answered on it
    std::unique_ptr<platform::SerialPort> PortHandle;  ///< the open port, or null
    TraceSink* TraceTarget = nullptr;                  ///< not owned; null: no trace lines
    /// Written by a controlling thread, polled by a transferring one.
    std::atomic<int32_t> CancelRequested{0};
    uint32_t UsbBaudCode = kBaudCode115200;              ///< the link rate in use
    uint32_t HardwareFlags = 0;                          ///< kHw* bits of the identified device
    ::FirmwareVersion FirmwareVersion{};                 ///< the identified device's version
    uint8_t EmulationBank = 0;                           ///< as the device last reported it
    uint8_t ReadWriteBank = 0;                           ///< as the device last reported it
    uint8_t ComPortNumber = 255;                         ///< COM number of the open port; 255: none
    uint32_t LastPortIndex = 0;                          ///< table index a device was last found at
    uint32_t LastBaudCode = kBaudCode115200;             ///< and its link-rate code
    std::unique_ptr<platform::AutoResetEvent> PortLock;  ///< serialises the port
    /// Mirrors the lock for inspection; other threads may read it.
    std::atomic<int32_t> PortLockFree{1};
    EmuTaskRecord EmuTask;  ///< the last background task started
    /// An optional stand-alone port for the application's own use; nothing
    /// here creates it, the destructor disposes of it.
    std::unique_ptr<BKSerial> Serial;

  private:
    /// One port of the scan (index from 0): opened at 115200, asked for its
    /// version there, at 921600 and at 19200; true when a device answered.
    bool ProbeScanPort(int index, bool restoreLastRate);
    /// The same on a port by name (COMn or a path); highPort: the pause of
    /// the ports from COM10 on.
    bool ProbeNamedPort(const char* name, bool highPort, bool restoreLastRate);
    /// The end of a detection: identified and described, or nothing found.
    uint32_t ReportDetection(bool found, char* description, int descriptionSize,
                             ::FirmwareVersion* version);
    /// One read that tells a failed read (*failed set) from a time-out.
    int ReadPortReporting(uint8_t* buffer, int count, bool* failed);
    /// Discards both queues of the port, as every request does first.
    bool PurgePort();
    /// 'B' first second checksum under the lock (unless the caller holds it);
    /// *reply is the byte that came back or -1. QX_E_PORT_BUSY or 0.
    int BankExchange(uint8_t first, uint8_t second, int lockFlags, int* reply);
    void StoreBank(bool readWrite, uint8_t bank);
    /// Purges, then writes the whole request: 0 or QX_E_COMM_WRITE_FAILURE.
    int SendRequest(const uint8_t* request, int length);
    /// Starts EmuThreadProc on a copy of EmuTask, so that a later start
    /// cannot change the record under a running task.
    std::unique_ptr<platform::ThreadHandle> StartEmuTask();
    /// Under scrambled framing: a Dunmarra without QX_XFER_PLAIN.
    bool ScrambledFraming(uint32_t options) const;
    /// Tessaly in large-bin mode: moves the read/write bank to the one of
    /// address a (lock held). 0, or SetBank's failure.
    int LargeBinBankSwitch(uint32_t a);
    /// Scrambles the packet from scrambleFrom on (keeping the chain in *seed
    /// when given), appends its checksum and writes it: 0 or -4.
    int SendTransferPacket(std::vector<uint8_t>* packet, size_t scrambleFrom, bool scrambled,
                           uint8_t* seed);
    /// The reply of a read packet: n data bytes into packet, their checksum,
    /// then unscrambled with the request's seed. done and size go into the
    /// timed-out line; the tags name the path in its lines. 0 or a result code.
    int ReceiveReadPacket(uint8_t* packet, uint32_t n, bool scrambled, uint8_t seed, uint32_t done,
                          uint32_t size, const ReadPathLines& lines);
    /// The body of every transfer: lock, read time-out, purge, then packets
    /// of up to packetSize bytes (packet(done, n) sends one and takes its
    /// reply: 0 or a result code) with a cancel test before each and a step
    /// after each; then the exit step. QX_E_PORT_BUSY when the lock is not had.
    int RunPacketLoop(uint32_t size, uint32_t packetSize, int readTimeoutMs, const char* cancelLine,
                      ui::ProgressBar* progress,
                      const std::function<int(uint32_t done, uint32_t n)>& packet);
    /// Locks for a transfer; on a busy port the bar is reset and false
    /// returned (the lock holder's time-out and cancel flag stay as they are).
    bool LockForTransfer(ui::ProgressBar* progress);
    /// The exit of every exchange that holds the lock: bar to 0, read
    /// time-out 300 ms, the cancel flag cleared (the upload, which cannot be
    /// cancelled, leaves it), the lock back. Returns result.
    int FinishTransfer(int result, ui::ProgressBar* progress, bool clearCancel = true);
    /// Purge, write, then read exactly replyLength bytes: the byte count read,
    /// or -1 when the write or the read failed.
    int LinkTransfer(const std::vector<uint8_t>& request, bool listen, int replyLength,
                     uint8_t* reply, bool withTrailer);

    platform::OpenError lastOpenError_ = platform::OpenError::None;
    UploadRecord lastUpload_;
};

/// The 16-bit sum of the bytes, as 'X' block writes are answered.
uint16_t Checksum16(const uint8_t* data, unsigned length);
/// Adds the bytes to an 8-bit sum.
uint8_t ChecksumAdd8(uint8_t seed, const uint8_t* data, unsigned length);

/// 921600 / (code + 1) for the codes 0, 1, 3 and 7; 0 for any other code.
int LinkRateOfBaudCode(int baudCode);
