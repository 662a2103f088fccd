// SHA-256 from the system's cryptography gives the published answers, on
// each system (OpenSSL here, CNG under Windows).
#include "platform/Digest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(Digest, Sha256GivesThePublishedAnswers) {
    struct Case {
        std::string input;
        const char* digest;
    };
    const Case cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> bytes(c.input.begin(), c.input.end());
        bool ok = false;
        EXPECT_EQ(c.digest, platform::HexText(platform::Sha256(bytes, &ok)))
            << c.input.substr(0, 10);
        EXPECT_TRUE(ok);
    }
}
