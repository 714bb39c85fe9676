#include "config/xml.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <random>

#include "config/text_convert.h"
#include "config/xml_extern.h"
#include "tests/config/scratch_directory.h"

namespace quorvex {
namespace {

using test::ReadFile;
using test::ScratchDirectory;
namespace fs = std::filesystem;

const std::string kOriginal = "<config><language>English</language></config>";

bool Load(XmlExtern& xml, const ScratchDirectory& dir, const std::string& content) {
    return xml.Load(dir.Write("config.xml", content).u16string());
}

std::u16string Text(const Xml& xml, std::string_view path) {
    std::array<char16_t, kTextCapacity> buffer{};
    EXPECT_TRUE(xml.GetText(xml.Root(), path, buffer)) << path;
    return buffer.data();
}

TEST(XmlLoad, TextIsTrimmedCondensedAndDecoded) {
    ScratchDirectory dir;
    XmlExtern xml;
    ASSERT_TRUE(
        Load(xml, dir,
             "\xEF\xBB\xBF"  // byte order mark
             "<?xml version=\"1.0\"?>\n<config><!-- comment --><min>  20  </min><min>21</min>"
             "<name>\n\t first   second \n third </name>"
             "<escaped>&lt;&amp;&gt;&quot;&apos;&#x4E2D;&#25991;</escaped>"
             "<bad>a\xFF"
             "b</bad></config>\n"));
    EXPECT_EQ(xml.GetInt("config.min", xml.Root(), 10), 20);  // the first of a key wins
    EXPECT_EQ(Text(xml, "config.name"), u"first second third");
    EXPECT_EQ(Text(xml, "config.escaped"), u"<&>\"'中文");
    EXPECT_EQ(Text(xml, "config.bad"), u"a\uFFFDb");        // the invalid byte is replaced
    EXPECT_EQ(xml.CountChildren(xml.Root(), "config"), 5);  // the comment is no child
}

TEST(XmlRead, WalksListsPastForeignElementsAndRefusesTextsBeyondCapacity) {
    ScratchDirectory dir;
    std::string fits;
    for (int i = 0; i < 259; ++i) fits += "中";
    XmlExtern xml;
    ASSERT_TRUE(
        Load(xml, dir,
             "<config><list note=\"x\"><language>English</language><!-- between -->"
             "<separator/><language>Deutsch</language><other/></list><empty/><id a=\"0x66\"/><a>" +
                 fits + "</a><b>" + fits + "中</b></config>"));
    const auto& root = xml.Root();
    const int n = xml.CountChildren(root, "config.list");
    EXPECT_EQ(n, 5);  // <xmlattr>, language, separator, language, other
    std::u16string found;
    const Xml::Node* entry = nullptr;
    for (int i = 1; i <= n && xml.GetChild("language", root, "config.list", i, entry); ++i) {
        std::array<char16_t, kTextCapacity> text{};
        ASSERT_TRUE(xml.GetNodeText(*entry, text));
        found += text.data() + std::u16string(u";");
    }
    EXPECT_EQ(found, u"English;Deutsch;");  // the walk passes foreign elements

    EXPECT_EQ(xml.GetInt("config.absent", root, 7) + xml.GetInt("config.empty", root, 7), 14);
    EXPECT_EQ(xml.GetInt("config.id.<xmlattr>.a", root, 7), 102);
    std::array<char16_t, kTextCapacity> buffer{};
    buffer.fill(u'#');
    EXPECT_TRUE(xml.GetText(root, "config.absent", buffer));  // absent: succeeds, untouched
    EXPECT_FALSE(xml.GetText(root, "config.b", buffer));      // 260 units: too long, untouched
    EXPECT_EQ(buffer[0], u'#');
    ASSERT_TRUE(xml.GetText(root, "config.a", buffer));
    EXPECT_EQ(std::u16string_view(buffer.data()).size(), 259u);
    std::array<char16_t, 1024> large{};  // does not lift the node-text limit of 260 units
    EXPECT_FALSE(xml.GetNodeText(root.get_child("config.b"), large));
}

TEST(XmlSave, RewritesWithTabsWithoutCommentsKeepingPermissionsAndChangesOnlyTheFirstLanguage) {
    ScratchDirectory dir;
    XmlExtern xml;
    const auto perms = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    ASSERT_TRUE(Load(xml, dir,
                     "<?xml version=\"1.0\"?>\n<!-- settings -->\n<config>\n"
                     "    <language>English</language>\n    <language>Second</language>\n"
                     "    <range min=\"a&amp;b\">  <min> 10 </min>  </range>\n</config>\n"));
    fs::permissions(dir.path() / "config.xml", perms);
    ASSERT_TRUE(xml.SetLanguage(xml.Root(), u"简体中文"));
    ASSERT_TRUE(xml.Save());
    EXPECT_EQ(fs::status(dir.path() / "config.xml").permissions(), perms);
    EXPECT_EQ(ReadFile(dir.path() / "config.xml"),
              "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<config>\n"
              "\t<language>简体中文</language>\n\t<language>Second</language>\n"
              "\t<range min=\"a&amp;b\">\n\t\t<min>10</min>\n\t</range>\n</config>\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 1);  // no temporary left
}

TEST(XmlSave, AFailedWriteLeavesTheOldFileAsItWas) {
    ScratchDirectory dir;
    XmlExtern xml;
    ASSERT_TRUE(xml.Load(dir.Write("sub/config.xml", kOriginal).u16string()));
    fs::remove_all(dir.path() / "sub");  // the file's directory vanished after the load
    EXPECT_FALSE(xml.Save());
    EXPECT_FALSE(fs::exists(dir.path() / "sub"));

    // Text outside the root element is read but cannot be written back.
    const std::string outside = "<![CDATA[text]]><config><language>x</language></config>";
    ASSERT_TRUE(Load(xml, dir, outside));
    ASSERT_TRUE(xml.SetLanguage(xml.Root(), u"English"));
    EXPECT_FALSE(xml.Save());
    EXPECT_EQ(ReadFile(dir.path() / "config.xml"), outside);
}

// A 64 KiB tmpfs at a scratch directory, in a mount namespace of its own.
class PrivateTmpfs : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "needs root to mount a private tmpfs";
        ASSERT_EQ(::unshare(CLONE_NEWNS), 0);
        ASSERT_EQ(::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
        ASSERT_EQ(::mount("quorvex-test", dir_.path().c_str(), "tmpfs", 0, "size=64k"), 0);
        mounted_ = true;
        ASSERT_TRUE(Load(xml_, dir_, kOriginal));
    }
    void TearDown() override {
        if (mounted_) ::umount2(dir_.path().c_str(), MNT_DETACH);
    }
    ScratchDirectory dir_;
    bool mounted_ = false;
    XmlExtern xml_;
};

TEST_F(PrivateTmpfs, FullDiskLeavesTheOldFileAsItWas) {
    const auto filler = dir_.Write("filler", std::string(56 * 1024, 'x'));    // one page left
    ASSERT_TRUE(xml_.SetLanguage(xml_.Root(), std::u16string(4000, u'中')));  // 12000 bytes
    EXPECT_FALSE(xml_.Save());
    EXPECT_EQ(ReadFile(dir_.path() / "config.xml"), kOriginal);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), {}), 2);
    fs::remove(filler);
    EXPECT_TRUE(xml_.Save());  // once there is room again
}

TEST_F(PrivateTmpfs, ReadOnlyDirectoryLeavesTheOldFileAsItWas) {
    ASSERT_TRUE(xml_.SetLanguage(xml_.Root(), u"Deutsch"));
    ASSERT_EQ(::mount(nullptr, dir_.path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0);
    EXPECT_FALSE(xml_.Save());
    EXPECT_EQ(ReadFile(dir_.path() / "config.xml"), kOriginal);
}

TEST(XmlLoad, HugeAndDeeplyNestedFilesAreRefusedWithoutHarm) {
    ScratchDirectory dir;
    XmlExtern xml;
    const std::string body(Xml::kMaxFileSize - 64, 'x');
    EXPECT_TRUE(Load(xml, dir, "<r>" + body + "</r>"));
    std::string deep, nested, garbage(65536, '\0');
    for (int i = 0; i < 100000; ++i) deep += "<a>";
    // Only elements open levels: not comments, self-closing tags, '>' in a value.
    for (int i = 0; i < Xml::kMaxDepth; ++i) nested += "<a x=\"/>\"><!-- <b> --><c/>";
    for (int i = 0; i < Xml::kMaxDepth; ++i) nested += "</a>";
    EXPECT_TRUE(Load(xml, dir, nested));
    std::mt19937 random(20240611);
    for (char& c : garbage) c = static_cast<char>(random());

    const auto path = dir.path() / "config.xml";
    const std::string hostile[] = {
        "<r>" + body + std::string(64, 'y') + "</r>",  // past the 4 MiB cap
        "<r>" + nested + "</r>", deep,
        // Levels hidden from a scan that gave quotes meaning where the parser
        // gives them none: a document type declaration, another "<!", a name.
        "<!DOCTYPE a '>" + deep + "'>", "<!x '>" + deep + "'>", "<a'>" + deep + "'>",
        "language = English\n", garbage, std::string("\xFF\xFE<\0r\0/\0>\0", 10),  // UTF-16
        "<config><x>&#0;</x></config>", "fifo", "directory",
        // Empty, or zero-filled as a crash can leave a file: no document.
        "", std::string(4096, '\0'), "<?xml version=\"1.0\"?>\n<!-- only -->\n"};
    for (const std::string& form : hostile) {
        SCOPED_TRACE(form.size());
        ASSERT_TRUE(xml.Load(dir.Write("good.xml", kOriginal).u16string()));
        if (form == "fifo") {
            ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);  // must not block
        } else if (form == "directory") {
            fs::create_directory(path);
        } else {
            dir.Write("config.xml", form);
        }
        EXPECT_FALSE(xml.Load(path.u16string()));
        EXPECT_EQ(Text(xml, "config.language"), u"English");  // the old document stays
        EXPECT_FALSE(xml.Save());                             // never written over the file
        EXPECT_TRUE(fs::is_regular_file(path) ? ReadFile(path) == form : fs::exists(path));
        fs::remove_all(path);
    }
}

}  // namespace
}  // namespace quorvex
