// Screenshots of the game screen ("quor%04d.pcx" in the working directory):
// the back buffer as it stands, or the whole map pieced together from the
// view moved across it.
#pragma once

enum { IGISHOT_STEP = 448, IGISHOT_DRAWS = 5 };

// Writes the next free "quor%04d.pcx" (numbers already taken by a file are
// skipped) with the current palette: whole 0 the back buffer, 1 the whole
// map at 24 pixels a tile. MSG_SCRNSHOT on success; when the bitmap can't be
// had or the file can't be written, a warning is logged and 0 returned.
int Igievnt_Screenshot(int whole);
// The number the next shot tries first (the interface's start sets 0).
void Igievnt_ResetScreenshots(void);
