#include "util/WebPage.h"

#include <cstring>
#include <memory>
#include <string>

#include "platform/Conventions.h"
#include "platform/FileAccess.h"
#include "platform/Shell.h"
#include "platform/Thread.h"
#include "util/BoundedText.h"

namespace {

constexpr size_t kPageCapacity = 500;
constexpr size_t kPageNameCapacity = 260;
constexpr int kPageLifetimeMs = 500;

constexpr char kPageTemplate[] =
    "<html>\n"
    "<head>\n"
    "<title>Launching Web Site ...</title>\n"
    "<meta http-equiv=refresh content=\"1; URL=%s\">\n"
    "</head>\n"
    "<body bgcolor=\"#FFFFFF\" text=\"#000000\">\n"
    "Please wait ...\n"
    "</body>\n"
    "</html>";

// The page as a text file of this system: "\r\n" line ends on Windows.
std::string AsTextFile(const char* text) {
    std::string file;
    for (const char* p = text; *p != '\0'; ++p)
        file += *p == '\n' ? std::string(platform::kTextLineEnd) : std::string(1, *p);
    return file;
}

// The address as the text of a quoted attribute: a '"' or '>' in it would
// end the attribute or the tag and let the rest be read as markup.
std::string AttributeText(const char* text) {
    std::string escaped;
    for (const char* p = text; *p != '\0'; ++p) {
        switch (*p) {
            case '&':
                escaped += "&amp;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            case '\'':
                escaped += "&#39;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            default:
                escaped += *p;
        }
    }
    return escaped;
}

}  // namespace

size_t FormatRedirectPage(char* destination, size_t capacity, const char* url) {
    if (destination == nullptr || capacity == 0)
        return 0;
    BoundedFormat(destination, capacity, kPageTemplate,
                  AttributeText(url != nullptr ? url : "").c_str());
    return std::strlen(destination);
}

int LaunchWebPage(const void* owner, const char* url, const char* directory) {
    if (url == nullptr)
        return 0;
    if (owner == nullptr && directory == nullptr)
        return platform::ShellOpen(url, nullptr, nullptr);
    if (directory == nullptr)
        return 0;

    char page[kPageCapacity];
    FormatRedirectPage(page, sizeof page, url);
    char name[kPageNameCapacity];
    BoundedCopy(name, sizeof name, directory);
    size_t length = 0;
    if (BoundedLength(name, sizeof name, &length) == S_OK)
        BoundedCopy(name + length, sizeof name - length, "temp.htm");

    std::unique_ptr<platform::NewFile> file = platform::NewFile::Create(name);
    if (!file)
        return 0;
    const std::string text = AsTextFile(page);
    if (!file->Write(text.data(), text.size()) || !file->Close()) {
        file->Remove();
        return 0;
    }
    platform::ShellOpen(name, directory, owner);
    platform::SleepMilliseconds(kPageLifetimeMs);
    return file->Remove() ? 1 : 0;
}
