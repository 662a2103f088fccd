#include "util/WebPage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/Conventions.h"
#include "platform/Shell.h"
#include "tests/support/SystemFacts.h"
#include "tests/support/TempDir.h"

namespace {

struct Opened {
    std::string target;
    std::string directory;
    const void* owner;
    std::string content;  // the file's bytes at the time, when it is one
};

// Watches what the shell would be asked to open, instead of opening it.
class ShellWatch {
  public:
    ShellWatch() {
        platform::SetShellOpener(
            [this](const char* target, const char* directory, const void* owner) {
                std::ifstream file(target, std::ios::binary);
                std::stringstream bytes;
                bytes << file.rdbuf();
                opened.push_back(
                    {target, directory != nullptr ? directory : "(null)", owner, bytes.str()});
                return 42;
            });
    }
    ~ShellWatch() { platform::SetShellOpener({}); }
    std::vector<Opened> opened;
};

std::string Slurp(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

std::string Folder(const TempDir& dir) {
    return (std::filesystem::path(dir.Path()) / "").string();
}

const int kOwner = 0;

}  // namespace

TEST(RedirectPage, UrlsUpTo324CharactersFitLongerOnesAreCutAtTheEnd) {
    char page[500];
    const std::string fits(324, 'u');
    EXPECT_EQ(499u, FormatRedirectPage(page, sizeof page, fits.c_str()));
    EXPECT_EQ(0, std::strcmp(page + 499 - 7, "</html>")) << page;
    EXPECT_NE(nullptr, std::strstr(page, ("URL=" + fits + "\">\n").c_str()));
    const std::string tooLong(325, 'u');
    EXPECT_EQ(499u, FormatRedirectPage(page, sizeof page, tooLong.c_str()));
    EXPECT_EQ(0, std::strcmp(page + 499 - 6, "</html")) << "cut by one character at its end";
    FormatRedirectPage(page, sizeof page, "https://brevik.invalid/");
    EXPECT_EQ(0,
              std::strncmp(page,
                           "<html>\n<head>\n<title>Launching Web Site ...</title>\n"
                           "<meta http-equiv=refresh content=\"1; URL=https://brevik.invalid/\">\n"
                           "</head>\n<body bgcolor=\"#FFFFFF\" text=\"#000000\">\n"
                           "Please wait ...\n</body>\n</html>",
                           sizeof page));
    // An address cannot close the attribute or the tag and inject markup.
    FormatRedirectPage(page, sizeof page, "x\"><script>alert('&')</script>");
    EXPECT_NE(nullptr, std::strstr(page,
                                   "URL=x&quot;&gt;&lt;script&gt;alert(&#39;&amp;&#39;)&lt;/"
                                   "script&gt;\">\n"))
        << page;
    EXPECT_EQ(nullptr, std::strstr(page, "<script>"));
}

TEST(LaunchWebPage, DirectlyOrThroughAPageThatIsGoneAfterwards) {
    ShellWatch shell;
    TempDir dir;
    EXPECT_EQ(42, LaunchWebPage(nullptr, "https://brevik.invalid/", nullptr));
    ASSERT_EQ(1u, shell.opened.size());
    EXPECT_EQ("https://brevik.invalid/", shell.opened[0].target);
    EXPECT_EQ("(null)", shell.opened[0].directory);

    const std::string folder = Folder(dir);
    EXPECT_EQ(1, LaunchWebPage(&kOwner, "https://brevik.invalid/help", folder.c_str()));
    ASSERT_EQ(2u, shell.opened.size());
    EXPECT_EQ(folder + "temp.htm", shell.opened[1].target);
    EXPECT_EQ(folder, shell.opened[1].directory);
    EXPECT_EQ(&kOwner, shell.opened[1].owner);
    char page[500];
    FormatRedirectPage(page, sizeof page, "https://brevik.invalid/help");
    std::string expected = page;
    const std::string lineEnd = platform::kTextLineEnd;
    for (size_t at = 0; (at = expected.find('\n', at)) != std::string::npos; at += lineEnd.size())
        expected.replace(at, 1, lineEnd);
    EXPECT_EQ(expected, shell.opened[1].content) << "the page as a text file of this system";
    EXPECT_FALSE(std::filesystem::exists(folder + "temp.htm")) << "removed afterwards";

    EXPECT_EQ(0, LaunchWebPage(&kOwner, "https://brevik.invalid/", nullptr))
        << "an owner without a directory writes nothing";
    EXPECT_EQ(2u, shell.opened.size());
}

TEST(LaunchWebPage, NeverOverwritesAFileOrFollowsALinkAtThePagesName) {
    ShellWatch shell;
    TempDir dir;
    const std::string folder = Folder(dir);
    { std::ofstream(folder + "temp.htm") << "not ours"; }
    EXPECT_EQ(0, LaunchWebPage(&kOwner, "https://brevik.invalid/", folder.c_str()));
    EXPECT_EQ("not ours", Slurp(folder + "temp.htm"));
    EXPECT_TRUE(shell.opened.empty());
    std::filesystem::remove(folder + "temp.htm");

    // A link planted at the name, pointing at a file of the user's.
    const std::string precious = dir.File("precious.txt");
    std::ofstream(precious) << "keep me";
    if (testsys::MakeLink(precious, folder + "temp.htm"))
        GTEST_SKIP() << "no links a user may make here";
    EXPECT_EQ(0, LaunchWebPage(&kOwner, "https://brevik.invalid/", folder.c_str()));
    EXPECT_EQ("keep me", Slurp(precious));
    EXPECT_TRUE(std::filesystem::is_symlink(folder + "temp.htm")) << "the link is left alone";
    // A link to nowhere: nothing is made at its far end either.
    std::filesystem::remove(folder + "temp.htm");
    ASSERT_FALSE(testsys::MakeLink(dir.File("made-by-us.htm"), folder + "temp.htm"));
    EXPECT_EQ(0, LaunchWebPage(&kOwner, "https://brevik.invalid/", folder.c_str()));
    EXPECT_FALSE(std::filesystem::exists(dir.File("made-by-us.htm")));
    EXPECT_TRUE(shell.opened.empty());
}
