// Helpers shared by the test executables.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "core/error.h"

// What the test hook throws out of the fatal path.
struct QvFatal {
    int errclass;
    std::string message;
};

// The fatal hook that QV_EXPECT_FATAL installs.
void QvTest_ThrowHook(int errclass, const char* message);

// Runs statement expecting a fatal error with exactly this message.
#define QV_EXPECT_FATAL(statement, expected)                                                       \
    do {                                                                                           \
        Error_SetFatalHook(QvTest_ThrowHook);                                                      \
        bool qv_caught_ = false;                                                                   \
        std::string qv_msg_;                                                                       \
        try {                                                                                      \
            statement;                                                                             \
        } catch (const QvFatal& f) {                                                               \
            qv_caught_ = true;                                                                     \
            qv_msg_ = f.message;                                                                   \
        }                                                                                          \
        Error_SetFatalHook(nullptr);                                                               \
        EXPECT_TRUE(qv_caught_) << "no fatal error from: " #statement;                             \
        if (qv_caught_) {                                                                          \
            EXPECT_EQ(qv_msg_, std::string(expected));                                             \
        }                                                                                          \
    } while (0)

// A fresh directory under /tmp, removed with everything in it at the end of
// the scope. Cd()s into it on request and back on destruction.
class QvTempDir {
public:
    explicit QvTempDir(bool enter = false);
    ~QvTempDir();
    const std::string& path() const { return path_; }
    // path() + "/" + name
    std::string file(const std::string& name) const;
    // Writes a file below the directory (creating sub-directories).
    void write(const std::string& name, const std::string& content) const;
    // Reads a file below the directory ("" when absent).
    std::string read(const std::string& name) const;

private:
    std::string path_;
    std::string oldcwd_;
};

// The trace log of a test: errors and warnings (and any extra categories) go
// to a file of a fresh directory while the object lives; the previous log
// settings come back afterwards.
class QvLogCapture {
public:
    explicit QvLogCapture(unsigned extramask = 0);
    ~QvLogCapture();
    // Everything logged so far.
    std::string text() const;
    // Empties the log.
    void clear() const;

private:
    QvTempDir dir_;
    std::string oldFile_;
    unsigned oldMask_, oldOptions_;
};

// A message file ("gamemsg.txt", empty unless given) in a fresh directory
// that stands as the installation's "local" directory while the object
// lives, for the games that the tests start.
class QvLocalMessages {
public:
    explicit QvLocalMessages(const std::string& content = "");
    ~QvLocalMessages();
    const QvTempDir& dir() const { return dir_; }

private:
    QvTempDir dir_;
    std::string old_;
};
