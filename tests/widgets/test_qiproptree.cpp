// The property tree: look-ups with defaults, the writer's exact text, files
// that read back into the same tree, refused files and failed saves.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>

#include "support/testsupport.h"
#include "widgets/qiproptree.h"

namespace {

// Every node as "path=value/default", in tree order.
std::string Dump(const QIPropNode* n, const std::string& path = "")
{
    std::string out;
    for (; n; n = n->Next()) {
        std::string p = path + "/" + n->name.c_str();
        if (n->firstChild)
            out += p + "(" + Dump(n->FirstChild(), p) + ")";
        else
            out += p + "=" + n->value.c_str() + "|" + n->defaultValue.c_str() + " ";
    }
    return out;
}

} // namespace

TEST(PropTree, ReadsKeepDefaultsAndTheWriterWritesOnlyChanges)
{
    QIPropTree t;
    int32_t x = 5;
    t.Enter("Widget");
    t.GetInt("x", x); // absent: created with value and default 5
    EXPECT_EQ(x, 5);
    QIString name("Two words");
    t.GetString("Name", name);
    t.Find("Name")->value.Set("TWO WORDS"); // differs only in case
    t.Leave();
    EXPECT_EQ(t.Text(), "\nWidget()\n") << "a section with nothing changed";

    t.Enter("WIDGET"); // the same section, whatever the case
    t.SetString("Name", QIString("new value here"));
    t.Leave();
    EXPECT_EQ(t.count, 3);
    EXPECT_EQ(t.Text(), "\nWidget(\n  Name                 = new_value_here\n)\n");
    EXPECT_STREQ(t.first->FirstChild()->Next()->value.text, "new_value_here") << "the tree keeps the _";

    t.Enter("Widget");
    t.SetInt("x", 9);
    int32_t y = 1;
    t.GetInt("x", y);
    EXPECT_EQ(y, 9);
    EXPECT_STREQ(t.Find("x")->defaultValue.text, "1");
}

TEST(PropTree, WritesTheNineLineExampleByteForByte)
{
    // Enter puts new top-level nodes first: B, then A, makes the list A, B.
    QIPropTree t;
    t.Enter("B");
    t.Enter("Rect");
    int32_t x = 0;
    t.GetInt("x", x);
    t.SetInt("x", 10);
    t.Leave();
    t.Leave();
    t.Enter("A");
    t.SetInt("RepeatDelay", 50);
    EXPECT_EQ(t.Text(), "\nA(\n  RepeatDelay          = 50\n)\nB(\n  Rect(\n    x                  = 10\n  )\n)\n");
}

TEST(PropTree, AWrittenFileReadsBackIntoTheSameTree)
{
    QvTempDir dir;
    const std::string file = dir.file("w.prp");
    QIPropTree t(file.c_str());
    t.Enter("Section");
    t.SetString("Name21CharactersLong_", QIString("v1")); // 23 - 2 x 1: "=" right after it
    t.SetString("k", QIString("a=b"));
    t.Enter("Inner");
    t.SetString("Name19CharactersLo_", QIString("two words")); // 23 - 2 x 2
    t.SetString("Empty", QIString(""));                  // written "(null)"
    t.Enter("Deeper");
    t.SetInt("n", -4);
    t.Leave();
    t.Leave();
    t.Leave();
    ASSERT_EQ(t.Save(), 1);
    const std::string text = dir.read("w.prp");
    EXPECT_NE(text.find("\n  Name21CharactersLong_= v1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\n    Name19CharactersLo_= two_words\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\n    Empty              = (null)\n"), std::string::npos) << text;

    QIPropTree back(file.c_str());
    ASSERT_EQ(back.Load(), 1);
    EXPECT_EQ(Dump(back.first), Dump(t.first));
    EXPECT_EQ(back.count, t.count);
}

TEST(PropTree, ParsesTheFormsTheWriterNeverWrites)
{
    QvTempDir dir;
    const struct {
        const char* text;
        const char* tree;
    } cases[] = {
        {"A(\n x = (NULL)\n)\n", "/A(/A/x=| )"},
        {"A(\n)\nB(\n)\n", "/B=| /A=| "},
        {") a = 1 b ) c = 2", "/c=2| /a=1| "},
        {"x=\t7\r\ny= 8 z==", "/z==| /y=8| /x=7| "},
        {"a = 1 ( b = 2", "/a=1| "},
    };
    for (const auto& c : cases) {
        dir.write("p.prp", c.text);
        QIPropTree t(dir.file("p.prp").c_str());
        EXPECT_EQ(t.Load(), 1) << c.text;
        EXPECT_EQ(Dump(t.first), c.tree) << c.text;
        EXPECT_EQ(t.current, nullptr);
    }
    QIPropTree none(dir.file("absent.prp").c_str());
    EXPECT_EQ(none.Load(), 0);
}

TEST(PropTree, RefusedFilesNameFileAndLineAndAddNothing)
{
    QvTempDir dir;
    std::string deep;
    for (int i = 0; i < 65; i++) deep += "S(\n";
    std::string deepOk;
    for (int i = 0; i < 64; i++) deepOk += "S(\n";
    deepOk += "x = 1\n";
    const struct {
        std::string text;
        const char* message; // empty: accepted
    } cases[] = {
        {"A(\n  b = \"unclosed\n)\n", "line 2: expected a closing double quote"},
        {"a = \"bad\\q\"\n", "line 1: expected \\\\, \\\" or \\xHH after a backslash"},
        {"a = \"zero\\x00\"\n", "line 1: expected no zero byte in a quoted text"},
        {"a = " + std::string(256, 'v') + "\n", "line 1: expected a token of at most 255 characters"},
        {deep, "line 65: expected at most 64 nested sections"},
        {"a = " + std::string(255, 'v') + "\n", ""},
        {deepOk, ""},
        {"\n\nlong = " + std::string(200, 'w') + " " + std::string(900, ' ') + "k = 2\n", ""},
    };
    for (const auto& c : cases) {
        QvLogCapture log;
        dir.write("p.prp", c.text);
        QIPropTree t(dir.file("p.prp").c_str());
        t.Enter("Kept");
        t.Leave();
        const int ok = t.Load();
        if (*c.message) {
            EXPECT_EQ(ok, 0);
            EXPECT_NE(log.text().find("Property file [" + dir.file("p.prp") + "] " + c.message),
                      std::string::npos)
                << log.text();
            EXPECT_EQ(t.count, 1);
            EXPECT_EQ(Dump(t.first), "/Kept=| ");
        } else {
            EXPECT_EQ(ok, 1) << log.text();
            EXPECT_EQ(log.text(), "");
        }
    }
}

TEST(PropTree, AFailedSaveKeepsTheOldFile)
{
    QvTempDir dir;
    dir.write("p.prp", "\nold = 1\n");
    // A directory on the temporary name makes the write fail, even as root.
    dir.write("p.prp.tmp" + std::to_string((long)getpid()) + "/x", "");
    QIPropTree t(dir.file("p.prp").c_str());
    t.SetInt("new", 2);
    QvLogCapture log;
    EXPECT_EQ(t.Save(), 0);
    EXPECT_EQ(dir.read("p.prp"), "\nold = 1\n");
    EXPECT_NE(log.text().find("Unable to write to file [" + dir.file("p.prp") + "]"), std::string::npos);
}

// Names and values the program may set that the plain token form would
// split, end early or read as a bracket, "=" or "(null)".
TEST(PropTree, HostileNamesAndValuesWrittenByTheProgramReadBackEqual)
{
    QvTempDir dir;
    const struct {
        const char* rule;
        const char* section;
        const char* key;
        const char* value;
    } cases[] = {
        {"brackets in a value", "S", "k", "a(b)c"},
        {"a value that is a bracket", "S", "k", ")"},
        {"a newline in a value", "S", "k", "two\nlines"},
        {"a value starting with (null)", "S", "k", "(null)tail"},
        {"a value that is (null) itself", "S", "k", "(NULL)"},
        {"a section name with blanks", "My Section", "k", "1"},
        {"a key with a tab and blanks", "S", "a key\twith", "v"},
        {"a value ending with =", "S", "k", "x=="},
        {"a key that is =", "S", "=", "v"},
        {"a value starting with a quote, backslashes inside", "S", "k", "\"q\\\"\\"},
        {"control bytes", "S", "k", "\x01\x1f\x7f"},
        {"an empty section name", "", "k", "v"},
    };
    for (const auto& c : cases) {
        QIPropTree t(dir.file("p.prp").c_str());
        t.Enter(c.section);
        t.SetString(c.key, QIString(c.value));
        t.SetString("after", QIString("kept"));
        t.Enter("Inner");
        t.SetInt("last", 3);
        t.Leave();
        t.Leave();
        ASSERT_EQ(t.Save(), 1) << c.rule;
        QIPropTree back(dir.file("p.prp").c_str());
        ASSERT_EQ(back.Load(), 1) << c.rule << "\n" << t.Text();
        // Loaded properties have empty defaults; the rest must be equal.
        std::string want = Dump(t.first), got = Dump(back.first);
        EXPECT_EQ(got, want) << c.rule << "\n" << t.Text();
        EXPECT_EQ(back.count, t.count) << c.rule;
    }
}
