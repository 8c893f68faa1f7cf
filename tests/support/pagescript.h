// Page scripts: a person at the multiplayer menus, written as a text file
// and played on the landed pass script while the menus' desktop runs.
//
// One step a line ('#' starts a comment):
//   click PAGE/NAME[#K]   clicks the K-th (from 0) widget of that name on a
//                         shown page or pop-up (PAGE may name the pop-up)
//   location K            clicks start location K on the staging minimap
//   row PAGE/LIST I       clicks row I of a list
//   select PAGE/LIST TEXT clicks the first row whose text holds TEXT
//   pick PAGE/LIST TEXT   chooses the entry reading TEXT (else the first
//                         holding it) in a shown, enabled drop list
//   label PAGE/NAME TEXT  waits until a static text holds TEXT, and prints it
//   clear PAGE/NAME       clicks an edit field and deletes its text
//   type TEXT             types the rest of the line; key CODE a scan code
//   shown PAGE            waits until the page (or pop-up) is shown
//   text PAGE/LIST TEXT   waits until a row's text holds TEXT, and prints it
//   popup NAME            waits until a pop-up holds a widget of that name
//   answer SLOT           clicks the pop-up's button in that slot
//   log TEXT              waits until the trace log holds TEXT
//   state N / netstate N  waits for the engine's or the network's state
//   wait FILE / touch FILE  waits for a marker file, or leaves one
//   count PAGE/LIST N TEXT  fails unless exactly N rows hold TEXT
//   print PAGE/LIST       prints the list's rows; echo TEXT prints the text
//   interrupt             asks the program to quit as Ctrl+C does
// Waits are bounded in passes and in real seconds; a step that fails names
// its line and ends the process with status 1. Every pass yields 1 ms.
#pragma once

#include <string>

// Reads the script (0 with the reason on stderr when it can't); prefix
// starts every line it prints, into "pages.txt" (the program takes stdout).
int PageScript_Load(const char* path, const char* prefix, int seconds);
// Runs the multiplayer menus (engine state 1) under the loaded script; the
// script must leave them (a "MAIN MENU" click, say) before it ends.
void PageScript_RunMenus(void);
