// Hostile bytes as a property file: whatever the reader accepts must save,
// and the saved file must read back, unrefused, with the same written
// properties; the same bytes as a tree the program builds must too; nothing
// may stay on the heap.
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
// (loading reverses the top level). An empty value is written "(null)" and
// reads back unset: its text, empty, is all there is to compare.
void Written(const QIPropNode* n, const std::string& path, std::vector<std::string>* out)
{
    for (; n; n = n->Next()) {
        const std::string p = path + '\x01' + n->name.c_str();
        if (n->firstChild)
            Written(n->FirstChild(), p, out);
        else if (n->value.Compare(n->defaultValue) != QISTR_EQUAL && n->value.length)
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

// The same bytes as names and values a program sets: cut at 0xFF into
// texts (no zero byte, at most 200 long, so quoting keeps them in bounds);
// 0xFE before a text enters a section, 0xFD leaves one. What is saved must
// read back into the same properties.
void ProgramTreeRoundTrip(const uint8_t* data, size_t size, const std::string& file)
{
    QIPropTree built(file.c_str());
    std::vector<std::string> texts(1);
    for (size_t i = 0; i < size; i++) {
        if (data[i] == 0xFF)
            texts.emplace_back();
        else if (data[i] && texts.back().size() < 200)
            texts.back() += (char)data[i];
    }
    int depth = 0; // the reader takes QIPROP_MAX_DEPTH levels
    for (size_t i = 0; i + 1 < texts.size(); i += 2) {
        std::string key = texts[i];
        if (!key.empty() && (uint8_t)key[0] == 0xFE && depth < QIPROP_MAX_DEPTH) {
            built.Enter(key.c_str() + 1);
            depth++;
            continue;
        }
        if (!key.empty() && (uint8_t)key[0] == 0xFD) {
            if (built.current) depth--;
            built.Leave();
            continue;
        }
        built.SetString(key.c_str(), QIString(texts[i + 1].c_str()));
    }
    if (!built.Save()) abort();
    QIPropTree back(file.c_str());
    if (!back.Load()) abort();
    if (Written(built) != Written(back)) abort();
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
        ProgramTreeRoundTrip(data, size, output);
    });
    return 0;
}
