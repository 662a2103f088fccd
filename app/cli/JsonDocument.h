// The one document a --json run prints: schema and command first, the
// error object when the run failed, ok and exit_code last. A usage error
// and a command's run both build it here.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <utility>

#include "app/cli/CliExitCodes.h"

namespace cli {

using Json = nlohmann::ordered_json;

// The version of the document's layout.
constexpr int kJsonSchema = 1;

// command: null when the command line named none.
inline Json StartDocument(Json command) {
    return Json{{"schema", kJsonSchema}, {"command", std::move(command)}};
}

inline void SetError(Json& doc, int exitCode, const std::string& message) {
    doc["error"] = {{"key", ExitCodeKey(exitCode)}, {"message", message}};
}

inline void SetOutcome(Json& doc, int exitCode) {
    doc["ok"] = exitCode == kCliSucceeded;
    doc["exit_code"] = exitCode;
}

// Paths, package bytes and process names need not be UTF-8: what is not
// becomes U+FFFD instead of ending the document.
inline std::string DocumentText(const Json& doc) {
    return doc.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace cli
