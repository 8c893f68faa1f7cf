// Hostile bytes as a property file: whatever the reader accepts must save,
// and the saved file must read back, unrefused, with the same written
// properties; nothing may stay on the heap.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/fspath.h"
#include "fuzzsupport.h"
#include "widgets/qiproptree.h"

namespace {

// Every property the writer writes, as its section path and value, sorted
// (loading reverses the top level).
void Written(const QIPropNode* n, const std::string& path, std::vector<std::string>* out)
{
    for (; n; n = n->Next()) {
        const std::string p = path + '\x01' + n->name.c_str();
        if (n->firstChild)
            Written(n->FirstChild(), p, out);
        else if (n->value.Compare(n->defaultValue) != QISTR_EQUAL)
            out->push_back(p + '\x02' + n->value.c_str());
    }
}

std::vector<std::string> Written(const QIPropTree& t)
{
    std::vector<std::string> out;
    Written(t.first, "", &out);
    std::sort(out.begin(), out.end());
    return out;
}

char s_Dir[] = "/tmp/qvfuzz-proptree-XXXXXX";

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
    const std::string input = Dir() + "/in.prp";
    const std::string output = Dir() + "/out.prp";
    if (!Fs_WriteAtomic(input.c_str(), data, size)) abort();
    QvFuzzHeapCheck check;
    QV_FUZZ_GUARD({
        QIPropTree first(input.c_str());
        if (first.Load()) {
            first.fileName.Set(output.c_str());
            if (!first.Save()) abort();
            QIPropTree second(output.c_str());
            if (!second.Load()) abort();
            if (Written(first) != Written(second)) abort();
        }
    });
    return 0;
}
