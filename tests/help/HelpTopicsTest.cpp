// The help topics hang together: the Contents page links every topic, and
// every link between topics leads to a topic that exists.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

namespace {

namespace fs = std::filesystem;

std::string read(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The topic files a page links to (anchors and web addresses left out).
std::set<std::string> linkedTopics(const std::string& html)
{
    std::set<std::string> out;
    static const std::regex href("href=\"([^\"#]+)(#[^\"]*)?\"");
    for (auto it = std::sregex_iterator(html.begin(), html.end(), href); it != std::sregex_iterator(); ++it) {
        const std::string target = (*it)[1];
        if (target.find(':') == std::string::npos)
            out.insert(target);
    }
    return out;
}

std::set<std::string> topics()
{
    std::set<std::string> out;
    for (const auto& e : fs::directory_iterator(HELP_HTML_DIR))
        if (e.path().extension() == ".html")
            out.insert(e.path().filename().string());
    return out;
}

TEST(HelpTopics, ContentsLinksEveryTopic)
{
    std::set<std::string> unlinked = topics();
    unlinked.erase("Main Contents.html");
    for (const std::string& t : linkedTopics(read(fs::path(HELP_HTML_DIR) / "Main Contents.html")))
        unlinked.erase(t);
    EXPECT_TRUE(unlinked.empty()) << "not linked from Contents: " << *unlinked.begin();
}

TEST(HelpTopics, EveryLinkLeadsToATopic)
{
    const std::set<std::string> all = topics();
    for (const std::string& page : all)
        for (const std::string& t : linkedTopics(read(fs::path(HELP_HTML_DIR) / page)))
            EXPECT_TRUE(all.count(t)) << page << " links to missing " << t;
}

} // namespace
