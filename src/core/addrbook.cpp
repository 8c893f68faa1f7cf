// The address book.
//
// Each list is kept sorted (name without regard to case, then address
// exactly) and free of duplicates by AddressBook_Insert, which the reader
// uses too, so a hand-edited file comes back in order.
//
// The file is lines, so an entry must be a single non-empty line: Insert turns
// line breaks into blanks and refuses an empty name or address, either of
// which would shift every following name/address pair when read back.
#include "core/addrbook.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "core/debug.h"
#include "core/fspath.h"
#include "core/tlog.h"
#include "core/utils.h"

ADDRESSBOOK_ENTRY* g_AddressBookInternet = nullptr;
ADDRESSBOOK_ENTRY* g_AddressBookPhone = nullptr;

namespace {

const char s_InternetHeader[] = "INTERNET ADDRESSES:";
const char s_PhoneHeader[] = "PHONE ADDRESSES:";

std::string s_Path = ADDRESSBOOK_FILENAME;

// Copies text into a 64-byte entry field: cut to 63, line breaks as blanks.
void CopyField(char* field, const char* text)
{
    snprintf(field, 64, "%s", text ? text : "");
    for (char* c = field; *c; c++) {
        if (*c == '\r' || *c == '\n') *c = ' ';
    }
}

bool SameEntry(const ADDRESSBOOK_ENTRY* e, const char* name, const char* address)
{
    return Str_CompareNoCase(e->name, name) == 0 && strcmp(e->address, address) == 0;
}

void AppendEntries(std::string* out, const ADDRESSBOOK_ENTRY* list)
{
    for (const ADDRESSBOOK_ENTRY* e = list; e; e = e->next) {
        *out += e->name;
        *out += '\n';
        *out += e->address;
        *out += '\n';
    }
}

bool ReadFile(const char* path, std::string* out)
{
    FILE* file = Fs_Open(path, "rb");
    if (!file) return false;
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0) out->append(buffer, got);
    fclose(file);
    return true;
}

} // namespace

void AddressBook_SetPath(const char* path)
{
    s_Path = (path && path[0]) ? path : ADDRESSBOOK_FILENAME;
}

void AddressBook_Insert(ADDRESSBOOK_ENTRY** list, const char* name, const char* address)
{
    ASSERT(list);
    char cname[64], caddress[64];
    CopyField(cname, name);
    CopyField(caddress, address);
    if (!cname[0] || !caddress[0]) return;

    ADDRESSBOOK_ENTRY* prev = nullptr;
    ADDRESSBOOK_ENTRY* at = *list;
    for (; at; prev = at, at = at->next) {
        int order = Str_CompareNoCase(at->name, cname);
        if (order == 0) {
            int byaddress = strcmp(at->address, caddress);
            if (byaddress == 0) return;
            if (byaddress > 0) break;
        } else if (order > 0) {
            break;
        }
    }
    ADDRESSBOOK_ENTRY* entry =
        static_cast<ADDRESSBOOK_ENTRY*>(Debug_MallocFor(sizeof *entry, "addressbook"));
    memcpy(entry->name, cname, sizeof cname);
    memcpy(entry->address, caddress, sizeof caddress);
    entry->prev = prev;
    entry->next = at;
    if (at) at->prev = entry;
    if (prev)
        prev->next = entry;
    else
        *list = entry;
}

void AddressBook_Remove(ADDRESSBOOK_ENTRY** list, const char* name, const char* address)
{
    ASSERT(list);
    // Compared as Insert stored them, so what was inserted can be removed.
    char cname[64], caddress[64];
    CopyField(cname, name);
    CopyField(caddress, address);
    for (ADDRESSBOOK_ENTRY* e = *list; e; e = e->next) {
        if (!SameEntry(e, cname, caddress)) continue;
        if (e->prev)
            e->prev->next = e->next;
        else
            *list = e->next;
        if (e->next) e->next->prev = e->prev;
        Debug_Free(&e);
        return;
    }
}

void AddressBook_FreeAll(ADDRESSBOOK_ENTRY** list)
{
    ASSERT(list);
    ADDRESSBOOK_ENTRY* e = *list;
    while (e) {
        ADDRESSBOOK_ENTRY* next = e->next;
        Debug_Free(&e);
        e = next;
    }
    *list = nullptr;
}

void Tfmod_ReadAddresses(void)
{
    AddressBook_FreeAll(&g_AddressBookInternet);
    AddressBook_FreeAll(&g_AddressBookPhone);
    std::string text;
    if (!ReadFile(s_Path.c_str(), &text)) return;  // no book yet

    ADDRESSBOOK_ENTRY** section = nullptr;
    std::string name;
    bool havename = false;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t eol = text.find('\n', pos);
        if (eol == std::string::npos) eol = text.size();
        std::string line = text.substr(pos, eol - pos);
        pos = eol + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        line.resize(strlen(line.c_str()));  // a NUL byte ends the line's text
        if (line.size() > 63) line.resize(63);

        if (line == s_InternetHeader || line == s_PhoneHeader) {
            section = line == s_InternetHeader ? &g_AddressBookInternet : &g_AddressBookPhone;
            havename = false;  // a name left without its address is dropped
            continue;
        }
        if (line.empty() || !section) continue;
        if (!havename) {
            name = line;
            havename = true;
        } else {
            AddressBook_Insert(section, name.c_str(), line.c_str());
            havename = false;
        }
    }
}

int Tfmod_WriteAddresses(void)
{
    std::string out = s_InternetHeader;
    out += '\n';
    AppendEntries(&out, g_AddressBookInternet);
    out += '\n';
    out += s_PhoneHeader;
    out += '\n';
    AppendEntries(&out, g_AddressBookPhone);
    if (!Fs_WriteAtomic(s_Path.c_str(), out.data(), out.size())) {
        TLOG(TLOG_ERROR, "Unable to write to file [%s]", Fs_Resolve(s_Path.c_str()).c_str());
        return 0;
    }
    return 1;
}
