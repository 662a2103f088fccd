// Small pieces the virtual device's command handlers share, and the
// handlers that live outside DeviceCommands.cpp.
#pragma once

#include <cstdint>
#include <map>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include "sim/SimFamilies.h"
#include "sim/VirtualDevice.h"

namespace sim {

inline bool SpeaksCurrentForms(const DeviceConfig& c) {
    return SimFamilyOf(c.letter).currentForms;
}

// A Dunmarra's own forms: the upload command twice, scrambled packets,
// emulation modes, the serial number.
inline bool SpeaksDunmarra(const DeviceConfig& c) {
    return SimFamilyOf(c.letter).dunmarraProtocol;
}

inline uint8_t Sum8(const std::vector<uint8_t>& bytes, size_t count) {
    return static_cast<uint8_t>(std::accumulate(bytes.begin(), bytes.begin() + count, 0u));
}

// Drops the rest of the request and answers '?'.
inline void Refuse(Session& session) {
    session.DiscardRest();
    session.Reply({'?'});
}

// "SS": the status query (reached through the 'S' handler).
void ServeStatusQuery(Session& session);
// "CC": three status words.
void ServeStatusWords(Session& session);
// 'N': serial number request or vendor identifier write (Dunmarra only).
void ServeIdentity(Session& session);
// 'K' / 'k': data-link pass-through, request and listen forms.
void ServeDataLink(Session& session);
void ServeDataLinkListen(Session& session);
// 'R', 'W', 'w', 'X' and 'Z': block and bulk memory transfers.
void RegisterMemoryCommands(std::map<uint8_t, std::pair<std::string, CommandHandler>>* commands);

}  // namespace sim
