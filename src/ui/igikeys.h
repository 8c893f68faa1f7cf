// The game screen's keyboard: the player's hot keys, which do what clicks
// do (press buttons, set modes, queue orders), and the developer keys under
// left Ctrl + left Shift, whose debug commands change the local machine's
// game directly and so need debug mode.
#pragma once

enum {
    IGIKEY_POWERADJUST = 200,   // a keypad 3 / 9 step of the power accounts
};

// Handles the current key event (igi_nfo.event's key and modifiers).
void Igievnt_HandleKey(void);
// The debug commands: left Ctrl + left Shift keys of no fixed meaning, run
// only in debug mode.
void Igievnt_DebugCommand(void);
// Centres the view on tile (x, y) and brings the minimap window after it.
void Igievnt_CentreView(int x, int y);
// The unit groups' key g (0..9) with the modifiers: recall, Shift centres,
// Ctrl makes an exclusive group, Alt adds a group.
void Igievnt_GroupKey(int g, unsigned modifiers);
// Selects the local team's next on-map unit not inside a building, after
// the first selected one, wrapping once.
void Igievnt_NextUnit(void);
// The debug change of team's power supply (usage 0) or use (1) by delta:
// the account moves at once, not below 0, and the change stays in the
// team's adjustment, which every recompute of the accounts adds again.
void Igievnt_AdjustPower(int team, int usage, int delta);
