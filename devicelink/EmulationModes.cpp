// Emulation modes of a Dunmarra and the background transfer tasks.
//
// Mode request: 'O', 0x00 to ask (reply: the mode letter) or the mode
// letter to set (reply 'O'), then the checksum. Modes: 1 'E', 2 'T'.
#include "devicelink/BKQuillex.h"

namespace {

constexpr uint8_t kModeCommand = 'O';
constexpr uint8_t kModeQuery = 0x00;

// The mode letters by mode number (1, 2); the device gives them their meaning.
constexpr char kModeLetters[] = {'E', 'T'};

char ModeLetter(int mode) {
    return mode == 1 || mode == 2 ? kModeLetters[mode - 1] : 0;
}

int ModeOfLetter(uint8_t letter) {
    for (int mode = 1; mode <= 2; ++mode) {
        if (letter == static_cast<uint8_t>(kModeLetters[mode - 1]))
            return mode;
    }
    return 0;
}

}  // namespace

int BKQuillex::GetEmulationMode() {
    if (!AnyFamily(HardwareFlags, &Family::identityCommands))
        return 0;
    if (LockPort(kPortLockWaitMs) != QX_S_OK)
        return 0;
    PurgePort();
    const uint8_t request[3] = {kModeCommand, kModeQuery, kModeCommand};
    WritePort(request, 3);
    uint8_t letter = 0;
    int mode = 0;
    if (ReadPort(&letter, 1) == 1)
        mode = ModeOfLetter(letter);
    if (mode != 0)
        Trace(TraceTarget, "DunMarra: Get Emulation Mode Succeeded: Mode %c", letter);
    else
        Trace(TraceTarget, "Dunmarra: Get Emulation Mode Failed!");
    UnlockPort();
    return mode;
}

int BKQuillex::SetEmulationMode(int mode) {
    if (!AnyFamily(HardwareFlags, &Family::identityCommands))
        return QX_S_OK;
    const char letter = ModeLetter(mode);
    if (letter == 0)
        return QX_E_INVALID_FUNC_PARAM;
    if (LockPort(kPortLockWaitMs) != QX_S_OK)
        return QX_E_PORT_BUSY;
    PurgePort();
    uint8_t request[3] = {kModeCommand, static_cast<uint8_t>(letter), 0};
    request[2] = Checksum8(request, 2);
    WritePort(request, 3);
    uint8_t reply = 0;
    int result = QX_E_INVALID_RESPONSE;
    if (ReadPort(&reply, 1) == 1 && reply == kAck) {
        Trace(TraceTarget, "DunMarra: Set Emulation Mode Succeeded: Mode %c", letter);
        result = QX_S_OK;
    } else {
        Trace(TraceTarget, "Dunmarra: Set Emulation Mode Failed!");
    }
    UnlockPort();
    return result;
}

std::unique_ptr<platform::ThreadHandle> BKQuillex::StartEmuTask() {
    EmuTaskRecord task = EmuTask;
    return platform::StartThread([task]() mutable { EmuThreadProc(&task); });
}

std::unique_ptr<platform::ThreadHandle> BKQuillex::StartReadBlockTask(
    uint8_t* destination, uint32_t size, uint32_t address, uint32_t options,
    ui::MessageWindow* notifyWindow, unsigned notifyMessage, ui::ProgressBar* progress) {
    EmuTask = {this,        notifyWindow, notifyMessage, progress, kEmuTaskRead,
               destination, address,      size,          options};
    return StartEmuTask();
}

std::unique_ptr<platform::ThreadHandle> BKQuillex::StartWriteBlockTask(
    const uint8_t* source, uint32_t size, uint32_t address, uint32_t options,
    ui::MessageWindow* notifyWindow, unsigned notifyMessage, ui::ProgressBar* progress) {
    // The record has one data pointer for both directions; a write only
    // reads through it.
    EmuTask = {this,     notifyWindow,  notifyMessage,
               progress, kEmuTaskWrite, const_cast<uint8_t*>(source),
               address,  size,          options};
    return StartEmuTask();
}

std::unique_ptr<platform::ThreadHandle> BKQuillex::StartVerifyTask(
    const uint8_t* expected, uint32_t address, uint32_t length, ui::ProgressBar* progress,
    ui::MessageWindow* notifyWindow, unsigned notifyMessage) {
    // The options stay as the last task left them; a verify does not use them.
    EmuTask = {this,     notifyWindow,   notifyMessage,
               progress, kEmuTaskVerify, const_cast<uint8_t*>(expected),
               address,  length,         EmuTask.Options};
    return StartEmuTask();
}

int EmuThreadProc(EmuTaskRecord* task) {
    BKQuillex* device = task->Device;
    int result;
    switch (task->Task) {
        case kEmuTaskRead:
            result = device->ReadBlock(task->Data, task->Size, task->Address, task->Options,
                                       task->Progress);
            break;
        case kEmuTaskWrite:
            result = device->WriteBlock(task->Data, task->Size, task->Address, task->Options,
                                        task->Progress);
            break;
        case kEmuTaskVerify:
            result = device->Verify(task->Data, task->Address, task->Size, task->Progress);
            break;
        default:
            return 1;
    }
    Trace(device->TraceTarget, "EmuThreadProc task completed with result: %i", result);
    if (task->NotifyWindow != nullptr)
        task->NotifyWindow->Send(task->NotifyMessage, 0, result);
    return 1;
}
