// The address book: ordered lists and the "Address.txt" file.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "core/addrbook.h"
#include "core/debug.h"
#include "core/tlog.h"
#include "support/testsupport.h"

namespace {

typedef std::vector<std::pair<std::string, std::string>> ENTRIES;

// The entries front to back, checking the back links on the way.
ENTRIES Entries(const ADDRESSBOOK_ENTRY* list)
{
    ENTRIES out;
    const ADDRESSBOOK_ENTRY* prev = nullptr;
    for (const ADDRESSBOOK_ENTRY* e = list; e; prev = e, e = e->next) {
        EXPECT_EQ(e->prev, prev);
        out.emplace_back(e->name, e->address);
    }
    return out;
}

class AddressBook : public testing::Test {
protected:
    void SetUp() override { AddressBook_SetPath(dir_.file("Address.txt").c_str()); }
    void TearDown() override
    {
        AddressBook_FreeAll(&list_);
        AddressBook_FreeAll(&g_AddressBookInternet);
        AddressBook_FreeAll(&g_AddressBookPhone);
        AddressBook_SetPath(nullptr);
    }

    QvTempDir dir_;
    ADDRESSBOOK_ENTRY* list_ = nullptr;
};

TEST_F(AddressBook, NamesSortWithoutCaseThenAddressesExactly)
{
    for (const auto& [name, address] : ENTRIES{{"carol", "3"}, {"Bob", "b"}, {"alice", "1"},
                                               {"BOB", "B"}, {"Bobby", "0"}, {"bob", "a"}})
        AddressBook_Insert(&list_, name.c_str(), address.c_str());
    EXPECT_EQ(Entries(list_), (ENTRIES{{"alice", "1"}, {"BOB", "B"}, {"bob", "a"}, {"Bob", "b"},
                                       {"Bobby", "0"}, {"carol", "3"}}));
}

// An empty line can't be stored in the file: it would shift every later
// name/address pair by one when read back.
TEST_F(AddressBook, EqualOrEmptyEntriesAreNotAdded)
{
    AddressBook_Insert(&list_, "Bob", "10.0.0.1");
    const char* const refused[][2] = {
        {"BOB", "10.0.0.1"}, {"bob", "10.0.0.1"}, {"", "1"}, {"Bob", ""}, {nullptr, "1"}};
    for (const auto& r : refused) AddressBook_Insert(&list_, r[0], r[1]);
    EXPECT_EQ(Entries(list_), (ENTRIES{{"Bob", "10.0.0.1"}}));
    // The address is compared with case.
    AddressBook_Insert(&list_, "bob", "HOST");
    AddressBook_Insert(&list_, "bob", "host");
    EXPECT_EQ(Entries(list_).size(), 3u);
}

TEST_F(AddressBook, TextsAreCutAndLineBreaksBecomeBlanks)
{
    std::string longtext(80, 'n');
    AddressBook_Insert(&list_, longtext.c_str(), "a\r\nb");
    EXPECT_EQ(Entries(list_), (ENTRIES{{std::string(63, 'n'), "a  b"}}));
    // The same texts find the entry that Insert stored.
    AddressBook_Remove(&list_, longtext.c_str(), "a\r\nb");
    EXPECT_EQ(list_, nullptr);
}

TEST_F(AddressBook, RemoveUnlinksTheEqualEntryOnly)
{
    long before = Debug_LiveBlocks();
    AddressBook_Insert(&list_, "a", "1");
    AddressBook_Insert(&list_, "b", "2");
    AddressBook_Insert(&list_, "c", "3");
    AddressBook_Remove(&list_, "B", "2");
    EXPECT_EQ(Entries(list_), (ENTRIES{{"a", "1"}, {"c", "3"}}));
    AddressBook_Remove(&list_, "c", "4"); // no such entry
    AddressBook_Remove(&list_, "a", "1"); // the head
    AddressBook_Remove(&list_, "c", "3");
    EXPECT_EQ(list_, nullptr);
    EXPECT_EQ(Debug_LiveBlocks(), before);
}

TEST_F(AddressBook, WriteThenReadGivesTheSameBook)
{
    AddressBook_Insert(&g_AddressBookInternet, "Zed", "zed.example");
    AddressBook_Insert(&g_AddressBookInternet, "amy", "10.1.2.3");
    AddressBook_Insert(&g_AddressBookPhone, "Office", "555-0100");
    ASSERT_EQ(Tfmod_WriteAddresses(), 1);
    EXPECT_EQ(dir_.read("Address.txt"), "INTERNET ADDRESSES:\n"
                                         "amy\n10.1.2.3\n"
                                         "Zed\nzed.example\n"
                                         "\n"
                                         "PHONE ADDRESSES:\n"
                                         "Office\n555-0100\n");
    ENTRIES internet = Entries(g_AddressBookInternet);
    ENTRIES phone = Entries(g_AddressBookPhone);
    Tfmod_ReadAddresses();
    EXPECT_EQ(Entries(g_AddressBookInternet), internet);
    EXPECT_EQ(Entries(g_AddressBookPhone), phone);
}

TEST_F(AddressBook, ReadReplacesTheListsWithWhatTheFileHolds)
{
    const struct {
        const char* name;
        std::string file; // "" : no file
        ENTRIES internet, phone;
    } rows[] = {
        {"missing file", "", {}, {}},
        {"crlf, stray lines, a name without address, a repeat",
         "stray line before any section\r\nPHONE ADDRESSES:\r\nHome\r\n555-0101\r\n\r\n"
         "dangling\r\nINTERNET ADDRESSES:\r\nzed\r\nz.example\r\nAmy\r\na.example\r\n"
         "amy\r\na.example\r\nodd one out",
         {{"Amy", "a.example"}, {"zed", "z.example"}},
         {{"Home", "555-0101"}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::filesystem::remove(dir_.file("Address.txt"));
        if (!row.file.empty()) dir_.write("Address.txt", row.file);
        AddressBook_Insert(&g_AddressBookInternet, "old", "entry");
        AddressBook_Insert(&g_AddressBookPhone, "old", "entry");
        Tfmod_ReadAddresses();
        EXPECT_EQ(Entries(g_AddressBookInternet), row.internet);
        EXPECT_EQ(Entries(g_AddressBookPhone), row.phone);
    }
}

TEST_F(AddressBook, FailedWriteReturnsZeroAndLogs)
{
    std::string path = dir_.file("no/such/dir/Address.txt");
    AddressBook_SetPath(path.c_str());
    AddressBook_Insert(&g_AddressBookInternet, "a", "1");
    QvLogCapture log;
    EXPECT_EQ(Tfmod_WriteAddresses(), 0);
    EXPECT_NE(log.text().find("Unable to write to file [" + path + "]"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir_.file("no")));
}

} // namespace
