#include "fuzz/FuzzTargets.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "app/cli/CliArguments.h"
#include "app/cli/RunCommand.h"
#include "devicelink/BKQuillex.h"
#include "fuzz/CommandRuns.h"
#include "fuzz/Models.h"
#include "fuzz/ScriptedLine.h"
#include "fuzz/UpdateRun.h"
#include "image/ImageFile.h"
#include "image/IntelHex.h"
#include "image/SRecords.h"
#include "package/PackageBuilder.h"
#include "package/PackageFile.h"
#include "platform/PortTable.h"
#include "platform/Signature.h"
#include "sim/DeviceLines.h"
#include "sim/ReplayDevice.h"
#include "sim/VirtualDevice.h"
#include "tests/support/SigningFixtures.h"

namespace fuzz {
namespace {

std::vector<std::vector<uint8_t>> ParseReplies(const uint8_t* data, size_t size) {
    std::vector<std::vector<uint8_t>> replies;
    for (size_t at = 0; at < size;) {
        size_t length = data[at++];
        if (at < size)
            length = length << 8 | data[at++];
        const size_t take = std::min(length, size - at);
        replies.emplace_back(data + at, data + at + take);
        at += take;
    }
    return replies;
}

std::string Broken(const std::string& what, int result) {
    return what + " (result " + std::to_string(result) + ")";
}

}  // namespace

std::vector<uint8_t> RepliesInput(uint8_t command, uint8_t variant,
                                  const std::vector<std::vector<uint8_t>>& replies) {
    std::vector<uint8_t> input = {command, variant};
    for (const std::vector<uint8_t>& reply : replies) {
        const size_t length = std::min<size_t>(reply.size(), 0xFFFF);
        input.push_back(static_cast<uint8_t>(length >> 8));
        input.push_back(static_cast<uint8_t>(length));
        input.insert(input.end(), reply.begin(), reply.begin() + static_cast<long>(length));
    }
    return input;
}

std::string CheckDeviceReplies(const uint8_t* data, size_t size) {
    if (size < 2)
        return "";
    const uint8_t command = data[0] % kCommandCount;
    const uint8_t variant = data[1];
    const std::vector<std::vector<uint8_t>> replies = ParseReplies(data + 2, size - 2);

    BKQuillex device;
    std::vector<uint8_t> hostBytes;
    device.PortHandle =
        platform::SerialPort::OpenOn(std::make_unique<ScriptedLine>(replies, &hostBytes), "fuzz");
    device.PortOpen = 1;
    PrepareDevice(&device, variant);
    CountingProgressBar bar;
    const CommandRun run = RunCommand(&device, command, variant, &bar);

    if (device.PortLockFree != 1)
        return Broken("the port lock was not given back", run.result);
    if (run.holdsTransferState) {
        if (CurrentReadTimeout(device) != static_cast<uint32_t>(kDefaultReadTimeoutMs))
            return Broken("the read time-out was not put back to 300 ms", run.result);
        if (device.CancelRequested != 0)
            return Broken("the cancel flag was left set", run.result);
        if (bar.position != 0)
            return Broken("the progress bar was not put back to 0", run.result);
    }
    if (run.result > 0 && command != kVerify && command != kStatus && command != kDataLink &&
        command != kEmulationMode && command != kBanks && command != kIdentify && command != kRaw &&
        command != kIdentity)
        return Broken("a positive result where a result code was due", run.result);
    if (command == kUpload) {
        const model::UploadOutcome expected =
            model::Upload(replies, kFuzzPackageBody, device.FirmwareVersion.Letter == 'D');
        if (run.result != expected.result)
            return Broken("the upload result is not " + std::to_string(expected.result) +
                              ", the one its replies call for",
                          run.result);
        if (run.result == QX_S_OK && bar.steps != expected.acknowledged)
            return Broken("the bar moved " + std::to_string(bar.steps) + " steps for " +
                              std::to_string(expected.acknowledged) + " acknowledged blocks",
                          run.result);
    }
    return "";
}

std::string CheckPackageBytes(const uint8_t* data, size_t size) {
    const std::string path = ScratchFile("package.bfw");
    const std::vector<uint8_t> bytes(data, data + size);
    if (!WritePackageFile(path, bytes))
        return "";  // no room for the file: nothing to judge
    const model::PackageVerdicts expected = model::Package(bytes);
    PackageHeader header;
    if (CheckPackageFile(path.c_str(), &header) != expected.selectable)
        return expected.selectable ? "a selectable package was refused"
                                   : "a broken package was selectable";

    // The upload against a device that takes everything: it must succeed for
    // an uploadable package and send nothing for any other.
    BKQuillex device;
    std::vector<uint8_t> hostBytes;
    // Every transmission is acknowledged, and the status follows the last.
    std::vector<std::vector<uint8_t>> acks(258, std::vector<uint8_t>{'O'});
    const size_t n = bytes.size() > 256 ? bytes.size() - 256 : 0;
    const size_t transmissions = n / 256 + (n % 256 != 0 ? 1 : 0);
    if (transmissions + 1 <= acks.size())
        acks[transmissions] = {'O', 'C'};
    device.PortHandle =
        platform::SerialPort::OpenOn(std::make_unique<ScriptedLine>(acks, &hostBytes), "fuzz");
    device.PortOpen = 1;
    PrepareDevice(&device, 0);
    const int result = device.UpdateFirmware(path.c_str(), nullptr);
    if (expected.uploadable && result != QX_S_OK)
        return Broken("a valid package was not uploaded", result);
    if (!expected.uploadable && (result != QX_E_INVALID_FIRMWARE_IMAGE || !hostBytes.empty()))
        return Broken("a package that breaks the rules reached the device", result);
    return "";
}

std::string CheckCommandLine(const uint8_t* data, size_t size) {
    if (size > 0 && data[0] == kUpdateRunMarker)
        return CheckUpdateRun(data + 1, size - 1);
    std::vector<std::string> words(1, "brevik");
    std::string word;
    for (size_t i = 0; i < size && words.size() < 32; ++i) {
        if (data[i] == 0) {
            words.push_back(word);
            word.clear();
        } else {
            word.push_back(static_cast<char>(data[i]));
        }
    }
    if (!word.empty())
        words.push_back(word);
    std::vector<const char*> argv;
    for (const std::string& w : words)
        argv.push_back(w.c_str());
    CliArguments args;
    const CliParse parse = ParseCliArguments(static_cast<int>(argv.size()), argv.data(), &args);
    if (parse.run && (!parse.err.empty() || args.command.empty()))
        return "a command line was taken with a complaint or without a command";
    // A refusal says why: on stderr, or under --json as the one document on
    // stdout, which is valid JSON with its error.
    if (!parse.run && parse.exitCode == 2 && parse.err.empty()) {
        const nlohmann::json doc = nlohmann::json::parse(parse.out, nullptr, false);
        if (doc.is_discarded() || !doc.is_object() || !doc.contains("error") ||
            doc["exit_code"] != 2)
            return "a wrong command line was refused without a word";
    }
    for (size_t i = 1; i < words.size(); ++i) {
        uint32_t parsed = 0, expected = 0;
        const bool taken = ParseCliNumber(words[i], &parsed);
        const bool valid = model::CliNumber(words[i], &expected);
        if (taken != valid || (taken && parsed != expected))
            return "the number '" + words[i] + "' was " + (taken ? "taken" : "refused") +
                   (taken ? " as " + std::to_string(parsed) : "");
    }
    return "";
}

std::string CheckCaptureText(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    capture::Session session;
    std::string error;
    if (!capture::ParseCapture(text, &session, &error))
        return error.rfind("line ", 0) == 0 || error == "not a brevik serial capture"
                   ? ""
                   : "a refused capture without its line: " + error;
    std::string again = "# brevik serial capture 1\nprogram " + session.program + "\n";
    for (const capture::Event& e : session.events) {
        if (e.port > capture::kMaxCapturePort)
            return "a port number past the bound was taken";
        if (e.kind == capture::EventKind::Rx && e.requested > capture::kMaxCaptureRead)
            return "a read count past the bound was taken";
        again += capture::FormatEvent(e) + "\n";
    }
    capture::Session reread;
    if (!capture::ParseCapture(again, &reread, &error))
        return "a capture written back does not read again: " + error;
    if (reread.events.size() != session.events.size())
        return "a capture written back has another number of events";
    for (size_t i = 0; i < reread.events.size(); ++i) {
        if (capture::FormatEvent(reread.events[i]) != capture::FormatEvent(session.events[i]))
            return "event " + std::to_string(i) + " changed when written back";
    }
    std::vector<sim::Turn> turns;
    bool closed = false;
    sim::ConversationOf(session, "", &turns, &error, &closed);
    return "";
}

std::string CheckSignatureBytes(const uint8_t* data, size_t size) {
    if (size == 0)
        return "";
    static const std::vector<uint8_t> package = fixtures::SignedPackage();
    static const std::vector<uint8_t> makerKey = platform::ReadPublicKey(fixtures::kMakerKey).der;
    static const std::vector<uint8_t> makerSignature = fixtures::MakerSignature();
    const std::span<const uint8_t> rest(data + 1, size - 1);
    if (data[0] % 2 == 0) {
        const std::string_view text(reinterpret_cast<const char*>(rest.data()), rest.size());
        const platform::PublicKey key = platform::ReadPublicKey(text);
        if ((key.problem == platform::PublicKey::Problem::None) == key.der.empty())
            return "a key read without a problem has no bytes, or one with a problem has some";
        const platform::PublicKey again = platform::ReadPublicKey(text);
        if (again.problem != key.problem || again.der != key.der)
            return "a key file read twice gave two keys";
        if (key.der.empty())
            return "";
        const bool verified = platform::VerifySignature(key.der, package, makerSignature) ==
                              platform::SignatureCheck::Verified;
        if (verified != (key.der == makerKey))
            return verified ? "another key verified the maker's signature"
                            : "the maker's key did not verify its signature";
        return "";
    }
    if (platform::VerifySignature(makerKey, package, rest) != platform::SignatureCheck::Verified)
        return "";
    if (platform::VerifySignature(makerKey, package, rest) != platform::SignatureCheck::Verified)
        return "a signature verified once and not again";
    std::vector<uint8_t> changed = package;
    changed[package.size() / 2] ^= 0x01;
    if (platform::VerifySignature(makerKey, changed, rest) == platform::SignatureCheck::Verified)
        return "a signature verified over a changed package";
    return "";
}

namespace {

std::string CheckImageText(const uint8_t* data, size_t size, image::ImageFormat format) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const image::ParsedImage parsed = format == image::ImageFormat::IntelHex
                                          ? image::ParseIntelHex(text)
                                          : image::ParseSRecords(text);
    const uint32_t lines = static_cast<uint32_t>(std::count(text.begin(), text.end(), '\n')) + 1;
    if (!parsed.image)
        return parsed.problem.empty() || parsed.line > lines ? "a refusal without its line" : "";
    const image::MemoryImage& got = *parsed.image;
    uint64_t held = 0, recorded = 0;
    for (size_t i = 0; i < got.chunks.size(); ++i) {
        if (got.chunks[i].bytes.empty() ||
            (i > 0 && got.chunks[i].address <= got.chunks[i - 1].End()))
            return "parts empty, out of order, touching or overlapping";
        held += got.chunks[i].bytes.size();
    }
    for (const image::RecordPlace& record : got.records)
        recorded += record.size;
    if (held != recorded || got.Span() > image::kLargestImageSpan)
        return "the parts do not hold the records' bytes, or span too much";
    for (const image::Chunk& chunk : got.chunks) {
        const std::string again = image::WriteImage(format, chunk.address, chunk.bytes);
        const image::ParsedImage back = image::ReadImageAs(
            format, {reinterpret_cast<const uint8_t*>(again.data()), again.size()});
        if (!back.image || back.image->chunks.size() != 1 ||
            back.image->Lowest() != chunk.address || back.image->chunks[0].bytes != chunk.bytes)
            return "a part written back reads otherwise";
    }
    return "";
}

}  // namespace

std::string CheckIntelHexText(const uint8_t* data, size_t size) {
    return CheckImageText(data, size, image::ImageFormat::IntelHex);
}

std::string CheckSRecordText(const uint8_t* data, size_t size) {
    return CheckImageText(data, size, image::ImageFormat::SRecords);
}

}  // namespace fuzz
