#include "app/cli/TrustCommands.h"

namespace cli {
namespace {

flash::TrustWishes WishesOf(const CliArguments& args) {
    flash::TrustWishes wishes;
    wishes.signatures = args.signatures;
    wishes.approved = args.approved;
    wishes.approvedGiven = args.approvedGiven;
    wishes.blocked = args.blocked;
    return wishes;
}

flash::TrustSetup LoadSetup(const Session& s, std::string* error) {
    return flash::LoadTrust({s.args.systemFolder, s.args.userFolder}, WishesOf(s.args), error);
}

Json PolicyJson(const flash::TrustSetup& setup) {
    const flash::TrustPolicy& policy = setup.policy;
    Json json = {{"signatures", flash::SignatureModeName(policy.signatures)},
                 {"system_file", setup.policyFile},
                 {"blocked", policy.blocked}};
    json["approved"] = policy.approved ? Json(*policy.approved) : Json(nullptr);
    if (!setup.policyError.empty())
        json["system_file_error"] = setup.policyError;
    return json;
}

}  // namespace

Json SignatureJson(const flash::PackageTrust& trust) {
    Json json = {{"state", flash::SignatureStateName(trust.state)},
                 {"said", trust.said},
                 {"file", trust.signatureFile},
                 {"refused", trust.refused}};
    if (trust.state == flash::SignatureState::Signed) {
        json["key"] = trust.keyName;
        json["fingerprint"] = trust.keyFingerprint;
    }
    if (trust.refused)
        json["reason"] = trust.why;
    return json;
}

int JudgePackage(Session& s, const std::string& path, const Package& p) {
    std::string error;
    const flash::TrustSetup setup = LoadSetup(s, &error);
    if (!error.empty())
        return s.Fail(kCliUsageError, error);
    s.trust = flash::JudgePackage(p.bytes, path, setup);
    s.doc["package"]["sha256"] = s.trust.sha256;
    s.doc["package"]["signature"] = SignatureJson(s.trust);
    return kCliSucceeded;
}

int Keys(Session& s) {
    std::string error;
    const flash::TrustSetup setup = LoadSetup(s, &error);
    if (!error.empty())
        return s.Fail(kCliUsageError, error);
    Json keys = Json::array();
    for (const flash::TrustedKey& key : setup.keys.keys)
        keys.push_back({{"name", key.name},
                        {"fingerprint", key.fingerprint},
                        {"origin", key.origin},
                        {"file", key.file}});
    Json problems = Json::array();
    for (const flash::KeyProblem& problem : setup.keys.problems)
        problems.push_back({{"path", problem.path}, {"why", problem.why}});
    s.doc["keys"] = keys;
    s.doc["not_taken"] = problems;
    s.doc["policy"] = PolicyJson(setup);

    const flash::TrustPolicy& policy = setup.policy;
    s.Say("signatures = \"%s\"%s", flash::SignatureModeName(policy.signatures),
          policy.signatures == flash::SignatureMode::Require ? ": every package must be signed"
          : policy.signatures == flash::SignatureMode::Check
              ? ": a signature must verify; unsigned packages are allowed"
              : ": signatures are not looked at");
    if (policy.approved)
        s.Say("approved: only %s package(s)", std::to_string(policy.approved->size()).c_str());
    if (!policy.blocked.empty())
        s.Say("blocked: %s package(s)", std::to_string(policy.blocked.size()).c_str());
    if (!setup.policyError.empty())
        s.Say("%s: nothing is flashed until it is mended", setup.policyError.c_str());
    if (setup.keys.keys.empty())
        s.Say("No trusted keys (put a maker's public key, NAME.pem, into %s/keys or %s/keys).",
              s.args.systemFolder.c_str(), s.args.userFolder.c_str());
    for (const flash::TrustedKey& key : setup.keys.keys)
        s.Say("%-20s %s  %-6s  %s", key.name.c_str(), key.fingerprint.c_str(), key.origin.c_str(),
              key.file.c_str());
    for (const flash::KeyProblem& problem : setup.keys.problems)
        s.Say("not taken: %s: %s", problem.path.c_str(), problem.why.c_str());
    return kCliSucceeded;
}

}  // namespace cli
