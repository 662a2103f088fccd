// Worker-thread procedures that run a pass-through exchange or the
// status-word poll in the background, and the records handed to them. The
// starter owns each record and what it points to until the completion
// message arrives (or, for the poll, until the loop has seen the cleared
// flag).
#pragma once

#include <atomic>
#include <cstdint>

#include "devicelink/BKQuillex.h"
#include "ui/MessageWindow.h"

struct LinkExchangeTask {
    BKQuillex* Device = nullptr;
    ui::MessageWindow* NotifyWindow = nullptr;
    unsigned NotifyMessage = 0;  // sent with wParam 0 and lParam = result
    int LinkRate = 0;
    int RequestLength = 0;
    int ReplyLength = 0;
    const uint8_t* Request = nullptr;
    uint8_t* Reply = nullptr;
    int WithTrailer = 0;
};

struct StatusPollTask {
    BKQuillex* Device = nullptr;
    uint16_t* Last = nullptr;
    uint16_t* Middle = nullptr;
    uint16_t* First = nullptr;
    ui::MessageWindow* NotifyWindow = nullptr;
    unsigned NotifyMessage = 0;  // sent after every poll, lParam = result
    // The starter clears it to end the loop; read before every poll.
    std::atomic<int32_t>* KeepRunning = nullptr;
};

// Runs LinkExchange and sends its result synchronously. Returns 0.
int LinkExchangeThreadProc(LinkExchangeTask* task);
// Polls ReadStatusWords while the flag is set, sending each result
// synchronously. Returns 1 once it finds the flag cleared.
int StatusPollThreadProc(StatusPollTask* task);
