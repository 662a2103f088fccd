#include "package/PackageBuilder.h"

#include <algorithm>
#include <cstdio>

#include "package/PackageFormat.h"

std::vector<uint8_t> BuildPackage(const std::vector<uint8_t>& payload, uint8_t major, uint8_t minor,
                                  char target) {
    std::vector<uint8_t> package(kPackageHeaderSize + payload.size() + 1, 0);
    package[0] = 'Z';
    package[1] = 'R';
    package[2] = 'F';
    package[3] = 'W';
    package[12] = major;
    package[13] = minor;
    package[14] = static_cast<uint8_t>(target);
    uint8_t check = 0;
    for (uint8_t b : payload)
        check = static_cast<uint8_t>(check + b);
    std::copy(payload.begin(), payload.end(), package.begin() + kPackageHeaderSize);
    package.back() = check;
    RefreshHeaderSum(&package);
    return package;
}

void RefreshHeaderSum(std::vector<uint8_t>* package) {
    if (package->size() < kPackageHeaderSize)
        return;
    const uint32_t sum =
        AddToHeaderSum(0, package->data() + kHeaderSumStart, package->size() - kHeaderSumStart);
    for (int i = 0; i < 4; ++i)
        (*package)[4 + i] = static_cast<uint8_t>(sum >> (8 * i));
}

std::vector<uint8_t> MakeFirmwarePayload(size_t length, uint8_t major, uint8_t minor, char letter) {
    std::vector<uint8_t> payload(length);
    for (size_t i = 0; i < length; ++i)
        payload[i] = static_cast<uint8_t>((i * 7 + 3) & 0xFF);
    const uint8_t stamp[8] = {'B', 'K', 'I', 'M', major, minor, static_cast<uint8_t>(letter), 0};
    for (size_t i = 0; i < sizeof stamp && i < length; ++i)
        payload[i] = stamp[i];
    return payload;
}

bool WritePackageFile(const std::string& path, const std::vector<uint8_t>& package) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        return false;
    const bool ok =
        package.empty() || std::fwrite(package.data(), 1, package.size(), f) == package.size();
    return std::fclose(f) == 0 && ok;
}

std::vector<uint8_t> FirmwarePackage(size_t payloadLength, uint8_t major, uint8_t minor,
                                     char letter) {
    return BuildPackage(MakeFirmwarePayload(payloadLength, major, minor, letter), major, minor,
                        letter);
}
