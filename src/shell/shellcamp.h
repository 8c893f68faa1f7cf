// The campaign road of the front end: a new campaign, the campaign map with
// its ring of missions, story, archive, training and options, the launch
// page after the side's video, and the debriefing after a mission. Button ids
// are state numbers, except the navigation buttons (100 up, 101 down, 102
// left, 103 right) and the missions (200..216) and sides (218, 219), which
// each page turns into a state or a selection.
#pragma once

#include <cstdint>

struct SHELLCTL;

enum { SHELL_NAV_UP = 100, SHELL_NAV_DOWN = 101, SHELL_NAV_LEFT = 102, SHELL_NAV_RIGHT = 103 };

// What one ring slot of the campaign map shows.
struct SHELLRINGSLOT {
    int label;    // mission number 1..12
    int id;       // 204..215
    int fonts[3]; // normal, hot, pressed
    int frame;    // completion: 1 second side won + 2 first side won
};

// Makes mission (200..216) and side (218, 219) the current ones (another
// value keeps the stored one), selects the category ("SINGLE" in mode 228,
// else "FIXED") and the mission's scenario, and fetches its title (63
// characters). With no valid stored mission or side nothing is selected and
// the title is empty. Returns the title.
const char* Shell_SelectMission(int mission, int side);
// The transitions played on entering current from previous, in order (one
// or two names); their count.
int Shell_CubeTransitionNames(int previous, int current, const char* names[2]);
// Plays them full screen.
void Shell_PlayCubeTransition(int previous, int current);
// Ring slot i (0..11) of the campaign record.
SHELLRINGSLOT Shell_RingSlot(int slot);

// A button with a library image shown only while pressed at (image x, image
// y), a filling label (fonts 2, 3, 4); the image is owned by the button.
SHELLCTL* Shell_AddImageButton(SHELLCTL* parent, int x, int y, int width, int height, int id, const char* label,
                               const char* image, int imageX, int imageY);
// As Shell_AddImageButton with the label at (label x, label y) of the button
// (style 3), or filling it when both are negative.
SHELLCTL* Shell_AddImageButtonAt(SHELLCTL* parent, int x, int y, int width, int height, int id,
                                 const char* label, int labelX, int labelY, const char* image, int imageX,
                                 int imageY);
// A button showing frame 0 of a strip of frames equal frames of the image in
// every state.
SHELLCTL* Shell_AddFramedButton(SHELLCTL* parent, int x, int y, int width, int height, int id, const char* label,
                                const char* image, int imageX, int imageY, int frames);
// The navigation buttons 100..103; a null label omits its button.
void Shell_AddNavButtons(SHELLCTL* dialog, const char* up, const char* down, const char* left, const char* right);
// Shows ring slot i on its button (and, for slot 0, on the side logos).
void Shell_SetMissionButton(SHELLCTL* button, int slot);

// Page handlers.
intptr_t Shell_TimedDialogHandler(SHELLCTL* c, uint32_t message, intptr_t p1, intptr_t p2, intptr_t p3, intptr_t p4);
intptr_t Shell_BuildMissions(SHELLCTL* c, uint32_t message, intptr_t p1, intptr_t p2, intptr_t p3, intptr_t p4);
intptr_t Shell_BuildOptions(SHELLCTL* c, uint32_t message, intptr_t p1, intptr_t p2, intptr_t p3, intptr_t p4);
intptr_t Shell_BuildArchive(SHELLCTL* c, uint32_t message, intptr_t p1, intptr_t p2, intptr_t p3, intptr_t p4);
intptr_t Shell_BuildStory(SHELLCTL* c, uint32_t message, intptr_t p1, intptr_t p2, intptr_t p3, intptr_t p4);
intptr_t Shell_BuildTraining(SHELLCTL* c, uint32_t message, intptr_t p1, intptr_t p2, intptr_t p3, intptr_t p4);
intptr_t Shell_BuildLaunch(SHELLCTL* c, uint32_t message, intptr_t p1, intptr_t p2, intptr_t p3, intptr_t p4);
intptr_t Shell_BuildDebrief(SHELLCTL* c, uint32_t message, intptr_t p1, intptr_t p2, intptr_t p3, intptr_t p4);

// Performs state 5 in the campaign or states 15..23; 0 for another state.
int Shell_PerformCampaign(int state);
