// Figures for the device link's hot paths: tracing with and without a
// target, the additive checksums, and one request/reply round trip with
// the virtual device (the floor every command exchange stands on).
#include <benchmark/benchmark.h>

#include <vector>

#include "devicelink/BKQuillex.h"
#include "diagnostics/TextBuffer.h"
#include "platform/PortTable.h"
#include "sim/VirtualDevice.h"

static void BM_TraceHexDumpNoTarget(benchmark::State& state) {
    std::vector<uint8_t> block(256, 0x5A);
    for (auto _ : state)
        TraceHexDump(nullptr, "Write Port", block.data(), 256);
}
BENCHMARK(BM_TraceHexDumpNoTarget);

static void BM_TraceHexDump256IntoBuffer(benchmark::State& state) {
    std::vector<uint8_t> block(256, 0x5A);
    TextBuffer control;
    TraceSink sink(&control);
    for (auto _ : state) {
        TraceHexDump(&sink, "Write Port", block.data(), 256);
        if (control.Length() > (1u << 20))
            control.Clear();
    }
}
BENCHMARK(BM_TraceHexDump256IntoBuffer);

static void BM_Checksum8Of256(benchmark::State& state) {
    std::vector<uint8_t> block(256, 0x5A);
    for (auto _ : state)
        benchmark::DoNotOptimize(BKQuillex::Checksum8(block.data(), 256));
    state.SetBytesProcessed(state.iterations() * 256);
}
BENCHMARK(BM_Checksum8Of256);

static void BM_VersionRoundTrip(benchmark::State& state) {
    sim::VirtualDevice device;
    device.Start();
    platform::PortTable::SetOverride({device.PortPath()});
    BKQuillex q;
    if (q.InitPort("COM1", 115200) != QX_S_OK) {
        state.SkipWithError("cannot open the virtual device");
        return;
    }
    const uint8_t vv[2] = {'V', 'V'};
    uint8_t reply[3];
    for (auto _ : state) {
        q.LockPort(kPortLockWaitMs);
        q.WritePort(vv, 2);
        if (q.ReadPort(reply, 3) != 3)
            state.SkipWithError("no reply");
        q.UnlockPort();
    }
    q.ClosePort();
    platform::PortTable::ClearOverride();
}
BENCHMARK(BM_VersionRoundTrip)->Unit(benchmark::kMicrosecond);
