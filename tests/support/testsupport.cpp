#include "support/testsupport.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/gamestate.h"
#include "core/tlog.h"
#include "platform/plat.h"

void QvTest_ThrowHook(int errclass, const char* message)
{
    throw QvFatal{errclass, message ? message : ""};
}

QvTempDir::QvTempDir(bool enter)
{
    char tmpl[] = "/tmp/qvtest-XXXXXX";
    char* made = mkdtemp(tmpl);
    if (!made) abort();
    path_ = made;
    if (enter) {
        char buf[4096];
        if (getcwd(buf, sizeof buf)) oldcwd_ = buf;
        if (chdir(path_.c_str()) != 0) abort();
    }
}

QvTempDir::~QvTempDir()
{
    if (!oldcwd_.empty() && chdir(oldcwd_.c_str()) != 0) abort();
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string QvTempDir::file(const std::string& name) const { return path_ + "/" + name; }

void QvTempDir::write(const std::string& name, const std::string& content) const
{
    std::filesystem::path p = file(name);
    std::filesystem::create_directories(p.parent_path());
    // A fresh file rather than a truncated one: rewriting the same file
    // thousands of times makes the file system flush it each time, which
    // under a busy disk turns a quick test into minutes.
    std::error_code ec;
    std::filesystem::remove(p, ec);
    std::ofstream out(p, std::ios::binary);
    out << content;
}

std::string QvTempDir::read(const std::string& name) const
{
    std::ifstream in(file(name), std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

QvLogCapture::QvLogCapture(unsigned extramask)
    : oldFile_(Tlog_GetFile()), oldMask_(Tlog_GetMask()), oldOptions_(Tlog_GetOptions())
{
    Tlog_SetFile(dir_.file("trace.log").c_str());
    Tlog_SetMask(TLOG_ERROR | TLOG_WARNING | extramask);
    Tlog_SetOptions(0);
}

QvLogCapture::~QvLogCapture()
{
    Tlog_SetFile(oldFile_.c_str());
    Tlog_SetMask(oldMask_);
    Tlog_SetOptions(oldOptions_);
}

std::string QvLogCapture::text() const { return dir_.read("trace.log"); }

void QvLogCapture::clear() const { dir_.write("trace.log", ""); }

namespace {
// Every test starts on the headless platform with virtual clocks at zero.
class QvEnvironment : public testing::Environment {
public:
    void SetUp() override
    {
        PlatHeadless_UseVirtualClock(1);
        PlatHeadless_SetClock(0, 0);
    }
};
const testing::Environment* const s_env = testing::AddGlobalTestEnvironment(new QvEnvironment);
}

QvLocalMessages::QvLocalMessages(const std::string& content) : old_(g_LocalDir)
{
    dir_.write("gamemsg.txt", content);
    snprintf(g_LocalDir, sizeof g_LocalDir, "%s", dir_.path().c_str());
}

QvLocalMessages::~QvLocalMessages()
{
    snprintf(g_LocalDir, sizeof g_LocalDir, "%s", old_.c_str());
}
