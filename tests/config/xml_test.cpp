#include "config/xml.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <string>

#include "config/text_convert.h"
#include "config/xml_extern.h"
#include "tests/config/scratch_directory.h"

namespace quorvex {
namespace {

using test::ReadFile;
using test::ScratchDirectory;

std::u16string Wide(const std::filesystem::path& path) {
    return path.u16string();
}

std::u16string Text(const Xml& xml, std::string_view path) {
    std::array<char16_t, kTextCapacity> buffer{};
    EXPECT_TRUE(xml.GetText(xml.Root(), path, buffer)) << path;
    return buffer.data();
}

TEST(XmlLoad, TextIsTrimmedCondensedAndDecoded) {
    ScratchDirectory dir;
    const auto file = dir.Write("config.xml",
                                "\xEF\xBB\xBF"  // byte order mark
                                "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                                "<config>\n"
                                "  <!-- the range of host numbers -->\n"
                                "  <match_address><min>  20  </min></match_address>\n"
                                "  <name>\n\t first   second \n third </name>\n"
                                "  <escaped>&lt;&amp;&gt;&quot;&apos;&#x4E2D;&#25991;</escaped>\n"
                                "  <bad>a\xFF"
                                "b</bad>\n"
                                "</config>\n");
    XmlExtern xml;
    ASSERT_TRUE(xml.Load(Wide(file)));
    EXPECT_EQ(xml.SourcePath(), Wide(file));
    EXPECT_EQ(xml.GetInt("config.match_address.min", xml.Root(), 10), 20);
    EXPECT_EQ(Text(xml, "config.name"), u"first second third");
    EXPECT_EQ(Text(xml, "config.escaped"), u"<&>\"'中文");
    // The invalid byte is replaced, never handed on.
    EXPECT_EQ(Text(xml, "config.bad"), u"a\uFFFDb");
    // The comment is not a child: config has match_address, name, escaped, bad.
    EXPECT_EQ(xml.CountChildren(xml.Root(), "config"), 4);
}

TEST(XmlLoad, AFailedLoadKeepsTheDocumentButForgetsItsPath) {
    ScratchDirectory dir;
    const auto good =
        dir.Write("good.xml", "<config><search_interval>45</search_interval></config>");
    const auto broken = dir.Write("broken.xml", "<config><search_interval>45</config>");
    XmlExtern xml;
    EXPECT_FALSE(xml.Load(Wide(dir.path() / "missing.xml")));
    EXPECT_FALSE(xml.IsLoaded());
    EXPECT_EQ(xml.GetInt("config.search_interval", xml.Root(), 30), 30);

    ASSERT_TRUE(xml.Load(Wide(good)));
    EXPECT_FALSE(xml.Load(Wide(broken)));
    EXPECT_TRUE(xml.IsLoaded());
    EXPECT_EQ(xml.GetInt("config.search_interval", xml.Root(), 30), 45);
    EXPECT_TRUE(xml.SourcePath().empty());
    // So nothing can be written to the file that failed to load.
    EXPECT_FALSE(xml.Save());
    EXPECT_EQ(ReadFile(broken), "<config><search_interval>45</config>");
}

TEST(XmlRead, IntegerKeysFallBackOnlyWhenAbsentEmptyOrTooLong) {
    ScratchDirectory dir;
    const std::string long_digits(128, '1');
    const auto file = dir.Write("config.xml",
                                "<config><empty></empty><hex>0x3C</hex><word>abc</word>"
                                "<zero>0</zero><long>" +
                                    long_digits + "</long><id a=\"0x66\"/></config>");
    XmlExtern xml;
    ASSERT_TRUE(xml.Load(Wide(file)));
    const auto& root = xml.Root();
    EXPECT_EQ(xml.GetInt("config.absent", root, 7), 7);
    EXPECT_EQ(xml.GetInt("config.empty", root, 7), 7);
    EXPECT_EQ(xml.GetInt("config.long", root, 7), 7);
    EXPECT_EQ(xml.GetInt("config.hex", root, 7), 60);
    EXPECT_EQ(xml.GetInt("config.word", root, 7), 2748);
    EXPECT_EQ(xml.GetInt("config.zero", root, 7), 0);
    EXPECT_EQ(xml.GetInt("config.id.<xmlattr>.a", root, 7), 102);

    // An absent text leaves the caller's buffer as it was and still succeeds.
    std::array<char16_t, kTextCapacity> buffer{};
    buffer[0] = u'x';
    EXPECT_TRUE(xml.GetText(root, "config.absent", buffer));
    EXPECT_EQ(buffer[0], u'x');
}

TEST(XmlRead, CapacityCountsSixteenBitUnits) {
    ScratchDirectory dir;
    std::string fits;
    std::string too_long;
    for (int i = 0; i < 259; ++i) fits += "中";
    too_long = fits + "中";
    const auto file =
        dir.Write("config.xml", "<config><a>" + fits + "</a><b>" + too_long + "</b></config>");
    XmlExtern xml;
    ASSERT_TRUE(xml.Load(Wide(file)));

    std::array<char16_t, kTextCapacity> buffer{};
    ASSERT_TRUE(xml.GetText(xml.Root(), "config.a", buffer));
    EXPECT_EQ(std::u16string_view(buffer.data()).size(), 259u);

    buffer.fill(u'#');
    EXPECT_FALSE(xml.GetText(xml.Root(), "config.b", buffer));
    EXPECT_EQ(buffer[0], u'#');

    const Xml::Node& b = xml.Root().get_child("config.b");
    EXPECT_FALSE(xml.GetNodeText(b, buffer));
    EXPECT_EQ(buffer[0], u'#');
    // A larger buffer does not lift the node-text limit of 260 units.
    std::array<char16_t, 1024> large{};
    EXPECT_FALSE(xml.GetNodeText(b, large));
    EXPECT_TRUE(xml.GetNodeText(xml.Root().get_child("config.a"), large));
}

TEST(XmlWalk, ListWalkSkipsForeignElementsAndStopsAtTheLastMatch) {
    ScratchDirectory dir;
    const auto file = dir.Write("config.xml",
                                "<config><languagelist note=\"x\">"
                                "<language><text>English</text></language>"
                                "<!-- between -->"
                                "<separator/>"
                                "<language><text>Deutsch</text></language>"
                                "<other/>"
                                "</languagelist></config>");
    XmlExtern xml;
    ASSERT_TRUE(xml.Load(Wide(file)));
    const auto& root = xml.Root();
    // Every kind of child counts: <xmlattr>, language, separator, language, other.
    const int n = xml.CountChildren(root, "config.languagelist");
    EXPECT_EQ(n, 5);
    std::u16string found;
    int visited = 0;
    for (int i = 1; i <= n; ++i) {
        const Xml::Node* entry = nullptr;
        if (!xml.GetChild("language", root, "config.languagelist", i, entry)) break;
        ++visited;
        std::array<char16_t, kTextCapacity> text{};
        ASSERT_TRUE(xml.GetText(*entry, "text", text));
        found += text.data();
        found += u';';
    }
    EXPECT_EQ(visited, 2);
    EXPECT_EQ(found, u"English;Deutsch;");

    const Xml::Node* out = nullptr;
    EXPECT_FALSE(xml.GetChild("language", root, "config.languagelist", 0, out));
    EXPECT_FALSE(xml.GetChild("language", root, "", 1, out));
    EXPECT_FALSE(xml.GetChild("", root, "config.languagelist", 1, out));
    EXPECT_FALSE(xml.GetChild("language", root, "config.nothing", 1, out));
    EXPECT_EQ(xml.CountChildren(root, ""), 0);
}

TEST(XmlSave, RewritesWithTabsWithoutCommentsKeepingPermissionsAndChangesOnlyTheFirstLanguage) {
    ScratchDirectory dir;
    const auto file =
        dir.Write("config.xml",
                  "<?xml version=\"1.0\"?>\n"
                  "<!-- settings -->\n"
                  "<config>\n"
                  "    <language>English</language>\n"
                  "    <language>Second</language>\n"
                  "    <match_address min=\"a&amp;b\">  <min> 10 </min>  </match_address>\n"
                  "</config>\n");
    std::filesystem::permissions(file, std::filesystem::perms::owner_read |
                                           std::filesystem::perms::owner_write |
                                           std::filesystem::perms::group_read);
    XmlExtern xml;
    ASSERT_TRUE(xml.Load(Wide(file)));
    EXPECT_EQ(Text(xml, "config.language"), u"English");
    ASSERT_TRUE(xml.SetLanguage(xml.Root(), u"简体中文"));
    ASSERT_TRUE(xml.Save());
    EXPECT_EQ(std::filesystem::status(file).permissions(), std::filesystem::perms::owner_read |
                                                               std::filesystem::perms::owner_write |
                                                               std::filesystem::perms::group_read);
    EXPECT_EQ(ReadFile(file),
              "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
              "<config>\n"
              "\t<language>简体中文</language>\n"
              "\t<language>Second</language>\n"
              "\t<match_address min=\"a&amp;b\">\n"
              "\t\t<min>10</min>\n"
              "\t</match_address>\n"
              "</config>\n");
    // Only the file and nothing left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(XmlSave, AFailedWriteLeavesTheOldFileAsItWas) {
    const std::string original = "<config><language>English</language></config>";
    {
        // The file's directory vanished after the load.
        ScratchDirectory dir;
        const auto file = dir.Write("sub/config.xml", original);
        XmlExtern xml;
        ASSERT_TRUE(xml.Load(Wide(file)));
        std::filesystem::remove_all(dir.path() / "sub");
        EXPECT_FALSE(xml.Save());
        EXPECT_FALSE(std::filesystem::exists(dir.path() / "sub"));
    }
    {
        // Something else took the file's place.
        ScratchDirectory dir;
        const auto file = dir.Write("config.xml", original);
        XmlExtern xml;
        ASSERT_TRUE(xml.Load(Wide(file)));
        std::filesystem::remove(file);
        std::filesystem::create_directory(file);
        EXPECT_FALSE(xml.Save());
        EXPECT_TRUE(std::filesystem::is_directory(file));
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
    }
}

// Runs `body` in a private mount namespace (so the mounts it makes are seen by
// no other process) on a small tmpfs mounted at `dir`.
class PrivateTmpfs : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "needs root to mount a private tmpfs";
        ASSERT_EQ(::unshare(CLONE_NEWNS), 0);
        ASSERT_EQ(::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
        ASSERT_EQ(::mount("quorvex-test", dir_.path().c_str(), "tmpfs", 0, "size=64k"), 0);
        mounted_ = true;
    }
    void TearDown() override {
        if (mounted_) ::umount2(dir_.path().c_str(), MNT_DETACH);
    }
    ScratchDirectory dir_;
    bool mounted_ = false;
};

TEST_F(PrivateTmpfs, FullDiskLeavesTheOldFileAsItWas) {
    const std::string original = "<config><language>English</language></config>";
    const auto file = dir_.Write("config.xml", original);
    XmlExtern xml;
    ASSERT_TRUE(xml.Load(Wide(file)));
    // A new language name larger than what is left on the disk.
    {
        std::ofstream filler(dir_.path() / "filler", std::ios::binary);
        const std::string block(4096, 'x');
        while (filler.write(block.data(), block.size())) {
        }
    }
    std::filesystem::resize_file(dir_.path() / "filler",
                                 std::filesystem::file_size(dir_.path() / "filler") - 4096);
    std::u16string name(4000, u'中');  // 12000 bytes of UTF-8
    ASSERT_TRUE(xml.SetLanguage(xml.Root(), name));
    EXPECT_FALSE(xml.Save());
    EXPECT_EQ(ReadFile(file), original);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()), {}), 2);

    // Once there is room again the same document saves.
    std::filesystem::remove(dir_.path() / "filler");
    EXPECT_TRUE(xml.Save());
}

TEST_F(PrivateTmpfs, ReadOnlyDirectoryLeavesTheOldFileAsItWas) {
    const std::string original = "<config><language>English</language></config>";
    const auto file = dir_.Write("config.xml", original);
    XmlExtern xml;
    ASSERT_TRUE(xml.Load(Wide(file)));
    ASSERT_TRUE(xml.SetLanguage(xml.Root(), u"Deutsch"));
    ASSERT_EQ(::mount(nullptr, dir_.path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    EXPECT_FALSE(xml.Save());
    EXPECT_EQ(ReadFile(file), original);
}

TEST(XmlLoad, HugeAndDeeplyNestedFilesAreRefusedWithoutHarm) {
    ScratchDirectory dir;
    XmlExtern xml;
    ASSERT_TRUE(xml.Load(Wide(dir.Write("small.xml", "<config><a>1</a></config>"))));

    const std::string body(Xml::kMaxFileSize - 64, 'x');
    const auto big = dir.Write("big.xml", "<config><a>" + body + "</a></config>");
    EXPECT_TRUE(XmlExtern().Load(Wide(big)));
    const auto huge =
        dir.Write("huge.xml", "<config><a>" + body + std::string(64, 'y') + "</a></config>");
    EXPECT_FALSE(xml.Load(Wide(huge)));

    std::string deep;
    for (int i = 0; i < 200000; ++i) deep += "<a>";
    EXPECT_FALSE(xml.Load(Wide(dir.Write("deep.xml", deep))));
    EXPECT_EQ(xml.GetInt("config.a", xml.Root(), 0), 1);  // the old document is still there

    // Depth is counted by elements: comments, self-closing tags and a '>'
    // inside an attribute value do not open levels.
    std::string nested;
    for (int i = 0; i < Xml::kMaxDepth; ++i) nested += "<a x=\"/>\"><!-- <b> --><c/>";
    for (int i = 0; i < Xml::kMaxDepth; ++i) nested += "</a>";
    EXPECT_TRUE(xml.Load(Wide(dir.Write("limit.xml", nested))));
    EXPECT_FALSE(xml.Load(Wide(dir.Write("over.xml", "<r>" + nested + "</r>"))));
}

}  // namespace
}  // namespace quorvex
