// meetsrv: the meeting server as a process of its own, for the runs where
// clients are processes too.
//
//   meetsrv [--address A] [--port P] [--lobbies N] [--lobby-players M]
//           [--server HOST:PING ...] [--port-file FILE]
//
// Writes the port it listens on to FILE (or stdout), serves until SIGTERM
// or SIGINT, then prints what it saw.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "meetsrv.h"

int main(int argc, char** argv)
{
    MeetConfig config;
    const char* portfile = nullptr;
    for (int i = 1; i + 1 < argc; i += 2) {
        const char* v = argv[i + 1];
        if (!strcmp(argv[i], "--address")) config.address = v;
        else if (!strcmp(argv[i], "--port")) config.port = (uint16_t)atoi(v);
        else if (!strcmp(argv[i], "--lobbies")) config.lobbies = atoi(v);
        else if (!strcmp(argv[i], "--lobby-players")) config.lobbyplayers = (int16_t)atoi(v);
        else if (!strcmp(argv[i], "--port-file")) portfile = v;
        else if (!strcmp(argv[i], "--server")) {
            std::string e = v;
            size_t colon = e.rfind(':');
            config.servers.push_back({e.substr(0, colon), colon == std::string::npos ? 0u : (uint32_t)atoi(e.c_str() + colon + 1)});
        } else {
            fprintf(stderr, "meetsrv: unknown option %s\n", argv[i]);
            return 2;
        }
    }
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    pthread_sigmask(SIG_BLOCK, &set, nullptr); // the server thread inherits the mask
    uint16_t port = MeetSrv_Start(config);
    if (!port) {
        fprintf(stderr, "meetsrv: cannot listen on %s:%u\n", config.address, config.port);
        return 1;
    }
    if (portfile) {
        std::string tmp = std::string(portfile) + ".tmp";
        FILE* f = fopen(tmp.c_str(), "w");
        if (!f) return 1;
        fprintf(f, "%u\n", port);
        fclose(f);
        rename(tmp.c_str(), portfile);
    } else {
        printf("%u\n", port);
        fflush(stdout);
    }
    int sig = 0;
    sigwait(&set, &sig);
    MeetSrv_Stop();
    printf("%s\n", MeetSrv_Report().c_str());
    return 0;
}
