// The meeting server, as test support: the service's side of the client
// library's protocol (docs/formats.md), on one thread of its own.
//
// It keeps rooms and games as 83-byte session records, gives each session's
// players u16 ids counting up from 1 (so the creator of a session has the
// lowest), compares the password check of every join, refuses a full
// session, tells players of joins ("d1", with the address the connection
// comes from), leaves ("d2") and, to the new lowest id only, host moves
// ("d7"), and relays texts. A connection that breaks the protocol is closed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct MeetServerEntry {
    std::string host;
    uint32_t ping;  // the delay the server list adds, ms
};

struct MeetConfig {
    const char* address = "127.0.0.1";  // listening address
    uint16_t port = 0;                  // 0: any free port
    int lobbies = 1;                    // lobby rooms made at start, "Lobby 1".."Lobby N"
    int16_t lobbyplayers = 20;          // their maximum players
    std::vector<MeetServerEntry> servers; // the server list (empty: this one alone, ping 0)
    bool endless = false;               // session lists never end (a client's time-outs)
    bool quiet = false;                 // no join notices (a game whose owner is never told)
};

struct MeetStats {
    uint32_t connections, sessions, players, texts, notices, refused, broken;
};

// Starts the server thread; the port it listens on, 0 on failure.
uint16_t MeetSrv_Start(const MeetConfig& config);
// Stops the thread and ends every connection; nothing when not running.
void MeetSrv_Stop(void);
// The counts so far (safe while it runs).
MeetStats MeetSrv_Stats(void);
// One line of the counts, for reports.
std::string MeetSrv_Report(void);
