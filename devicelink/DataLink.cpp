// Pass-through over the device's data link, and the connection probe built
// on it.
//
// Request form (link rates 8192 and 19200): 'K', request length, reply
// length (both modulo 256), the request bytes, checksum. Listen form (link
// rate 160): 'k', reply length, checksum; its reply starts with one byte
// that is dropped. Either reply: reply-length bytes, then, when the caller
// asks for the trailer, 6 more bytes and one that is not examined.
#include <vector>

#include "devicelink/BKQuillex.h"
#include "devicelink/StatusTasks.h"
#include "platform/Thread.h"

namespace {

constexpr int kListenRate = 160;
constexpr int kProbeRate = 8192;
constexpr int kRequestRate19200 = 19200;
constexpr int kListenReadTimeoutMs = 6000;
constexpr int kTrailerSize = 6;
constexpr int kProbeAttempts = 4;
constexpr int kBurstCopies = 20;

}  // namespace

int BKQuillex::LinkTransfer(const std::vector<uint8_t>& request, bool listen, int replyLength,
                            uint8_t* reply, bool withTrailer) {
    PurgePort();
    const int length = static_cast<int>(request.size());
    if (WritePort(request.data(), length) != length)
        return -1;
    bool failed = false;
    if (listen) {
        uint8_t dropped = 0;
        ReadPortReporting(&dropped, 1, &failed);
        if (failed)
            return -1;
    }
    int got = ReadPortReporting(reply, replyLength, &failed);
    if (failed)
        return -1;
    if (withTrailer) {
        bool trailerFailed = false;
        // Counted as far as it came: a short trailer is not claimed whole.
        got += ReadPortReporting(reply + replyLength, kTrailerSize, &trailerFailed);
        uint8_t end = 0;
        ReadPortReporting(&end, 1, &failed);
        if (failed)
            return -1;
    }
    return got;
}

int BKQuillex::LinkExchange(int linkRate, int requestLength, int replyLength,
                            const uint8_t* request, uint8_t* reply, int withTrailer) {
    if (!(HardwareFlags & (kHwCurrentCommandFamily | kHwDataLinkCapable))) {
        platform::SetThreadLastError(QX_E_REQUEST_NOT_SUPPORTED);
        return 0;
    }
    if (!PortOpen) {
        platform::SetThreadLastError(QX_E_PORT_NOT_INITIALIZED);
        return 0;
    }
    const bool listen = linkRate == kListenRate;
    if (!listen && linkRate != kProbeRate && linkRate != kRequestRate19200)
        return 0;
    const bool badReply = replyLength < 0 || ((replyLength > 0 || withTrailer) && !reply);
    const bool badRequest =
        !listen && (requestLength < 0 || (requestLength > 0 && request == nullptr));
    if (badReply || badRequest) {
        platform::SetThreadLastError(QX_E_INVALID_FUNC_PARAM);
        return 0;
    }

    std::vector<uint8_t> frame;
    if (listen) {
        frame = {'k', static_cast<uint8_t>(replyLength)};
    } else {
        frame = {'K', static_cast<uint8_t>(requestLength), static_cast<uint8_t>(replyLength)};
        frame.insert(frame.end(), request, request + requestLength);
    }
    frame.push_back(Checksum8(frame.data(), static_cast<int>(frame.size())));

    if (LockPort(kPortLockWaitMs) != QX_S_OK)
        return QX_E_PORT_BUSY;
    // The long listen time-out is set and undone under the lock, so that a
    // busy port's holder keeps its own.
    if (listen)
        SetReadTimeout(kListenReadTimeoutMs);
    const int result = LinkTransfer(frame, listen, replyLength, reply, withTrailer != 0);
    if (listen)
        SetReadTimeout(kDefaultReadTimeoutMs);
    UnlockPort();
    return result;
}

int BKQuillex::IsConnected(const uint8_t* probe, int probeLength, int replyLength) {
    if (!PortOpen || replyLength <= probeLength || probe == nullptr || probeLength <= 0)
        return 0;
    // The device hears its own probe on the shared line first; a connected
    // peer's answer follows, starting with the probe's first byte.
    std::vector<uint8_t> reply(static_cast<size_t>(replyLength));
    const int got = LinkExchange(kProbeRate, probeLength, replyLength, probe, reply.data(), 0);
    const bool connected = got != 0 && got == replyLength && reply[probeLength] == probe[0];
    if (connected)
        Trace(TraceTarget, "BKQX IsConnected: Connected");
    return connected ? 1 : 0;
}

int BKQuillex::CheckLinkConnection(const uint8_t* probe, int probeLength, int replyLength) {
    int result = 0;
    if (!(HardwareFlags & (kHwCurrentCommandFamily | kHwDataLinkCapable))) {
        platform::SetThreadLastError(QX_E_REQUEST_NOT_SUPPORTED);
    } else if (!PortOpen) {
        platform::SetThreadLastError(QX_E_PORT_NOT_INITIALIZED);
    } else if (probe != nullptr && probeLength > 0 && replyLength >= 0 &&
               LockPort(kPortLockWaitMs) == QX_S_OK) {
        // Only makes sure no other command is running.
        UnlockPort();
        auto probeSome = [&] {
            for (int i = 0; i < kProbeAttempts; ++i) {
                if (IsConnected(probe, probeLength, replyLength))
                    return 1;
            }
            return 0;
        };
        result = probeSome();
        if (!result) {
            // A burst of probes wakes a sleeping peer; its answer is not
            // looked at. Both lengths travel modulo 256.
            const int burstLength = kBurstCopies * probeLength;
            std::vector<uint8_t> burst;
            burst.reserve(static_cast<size_t>(burstLength));
            for (int i = 0; i < kBurstCopies; ++i)
                burst.insert(burst.end(), probe, probe + probeLength);
            std::vector<uint8_t> answer(static_cast<size_t>(replyLength + burstLength));
            LinkExchange(kProbeRate, burstLength, replyLength + burstLength, burst.data(),
                         answer.data(), 0);
            result = probeSome();
        }
    }
    LinkConnected = result;
    return result;
}

int LinkExchangeThreadProc(LinkExchangeTask* task) {
    const int result =
        task->Device->LinkExchange(task->LinkRate, task->RequestLength, task->ReplyLength,
                                   task->Request, task->Reply, task->WithTrailer);
    if (task->NotifyWindow != nullptr)
        task->NotifyWindow->Send(task->NotifyMessage, 0, result);
    return 0;
}
