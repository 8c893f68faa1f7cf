// The multiplayer menus built on the headless screen from the test run
// directory's pictures and fonts, in a working directory of their own (the
// address book and the configuration file live there), with the network on
// the in-memory transport.
#pragma once

#include <string>

#include "net/netpkt.h"
#include "support/passscript.h"
#include "support/testsupport.h"

class QIDesktop;
class QIWidget;

class MmFixture : public ::testing::Test {
protected:
    QvHeadlessScreen screen;
    QvTempDir dir{true};
    QIDesktop* desktop = nullptr;
    std::string oldData;
    void SetUp() override;
    void TearDown() override;
    // Builds the menus (after the book and configuration are written).
    void Build(void);
    // The in-memory transport as this machine's network, at 10.0.0.1.
    void MemoryNetwork(int type);
    // A UDP address 10.0.0.n.
    static NetAddress Udp(int n);
    // A found session from a creator, put in under the list's lock.
    static void Found(const NetAddress& creator, uint8_t flags, int players, const char* name);
    // A widget of the menus by name.
    QIWidget* Find(const char* name);
    // Whether a widget and its pages are shown.
    bool Shown(const char* name);
    // The script's clicks at a point.
    static void Click(QvPassScript& s, int x, int y);
};
