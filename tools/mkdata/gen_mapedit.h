// The scenario editor's pictures and fonts (data\mapedit).
#pragma once

#include <string>

// Writes "me_butns.bmp", "me_objbo.bmp", "topbits.bmp", "up.bmp", "dn.bmp"
// and the editor's three fonts into
// dir (which must exist); 1 on success.
int GenMapEdit_WriteAll(const std::string& dir);
