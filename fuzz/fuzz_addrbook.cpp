// Hostile bytes as "Address.txt": whatever the reader makes of them must be
// written and read back to the very same book.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "core/addrbook.h"
#include "core/fspath.h"
#include "fuzzsupport.h"

namespace {

typedef std::vector<std::pair<std::string, std::string>> ENTRIES;

ENTRIES Entries(const ADDRESSBOOK_ENTRY* list)
{
    ENTRIES out;
    for (const ADDRESSBOOK_ENTRY* e = list; e; e = e->next) out.emplace_back(e->name, e->address);
    return out;
}

// One directory per process, removed at exit (a plain array, so it is still
// there when the exit handler runs).
char s_Dir[] = "/tmp/qvfuzz-addrbook-XXXXXX";

void RemoveDir(void)
{
    std::error_code ec;
    std::filesystem::remove_all(s_Dir, ec);
}

std::string Dir()
{
    static bool made = false;
    if (!made) {
        if (!mkdtemp(s_Dir)) abort();
        atexit(RemoveDir);
        made = true;
    }
    return s_Dir;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input = Dir() + "/in.txt";
    const std::string output = Dir() + "/out.txt";
    if (!Fs_WriteAtomic(input.c_str(), data, size)) abort();
    QV_FUZZ_GUARD({
        AddressBook_SetPath(input.c_str());
        Tfmod_ReadAddresses();
        ENTRIES internet = Entries(g_AddressBookInternet);
        ENTRIES phone = Entries(g_AddressBookPhone);
        AddressBook_SetPath(output.c_str());
        if (!Tfmod_WriteAddresses()) abort();
        Tfmod_ReadAddresses();
        if (Entries(g_AddressBookInternet) != internet || Entries(g_AddressBookPhone) != phone)
            abort();
    });
    AddressBook_FreeAll(&g_AddressBookInternet);
    AddressBook_FreeAll(&g_AddressBookPhone);
    return 0;
}
