// The AI debug console: a developer's text console, entered from the debug
// console as the command "ai", that switches computer teams on and off,
// loads plans into them, prints the strategic grid, single cells and the
// plan's parameters, and changes parameters while the game runs. The team
// it works on is chosen with "team" and kept for the whole run.
#pragma once

// Runs the console ("AI> ") until "exit", "bye" or the end of the input.
void AiDebug_Console(void);
// The team chosen with "team" (1..8), -1 before any.
int AiDebug_SelectedTeam(void);
// Adds / removes the debug console's command "ai".
void AiDebug_Register(void);
void AiDebug_Unregister(void);
