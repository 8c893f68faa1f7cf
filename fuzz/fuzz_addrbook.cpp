// Hostile bytes as "Address.txt": whatever the reader makes of them must be
// written and read back to the very same book.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QvFuzzHeapCheck check;
    const char* input = QvFuzz_Path("in.txt");
    const char* output = QvFuzz_Path("out.txt");
    if (!Fs_WriteAtomic(input, data, size)) abort();
    QV_FUZZ_GUARD({
        AddressBook_SetPath(input);
        Tfmod_ReadAddresses();
        ENTRIES internet = Entries(g_AddressBookInternet);
        ENTRIES phone = Entries(g_AddressBookPhone);
        AddressBook_SetPath(output);
        if (!Tfmod_WriteAddresses()) abort();
        Tfmod_ReadAddresses();
        if (Entries(g_AddressBookInternet) != internet || Entries(g_AddressBookPhone) != phone)
            abort();
    });
    AddressBook_FreeAll(&g_AddressBookInternet);
    AddressBook_FreeAll(&g_AddressBookPhone);
    return 0;
}
