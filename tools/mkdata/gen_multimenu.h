// The multiplayer menus' pictures and fonts.
#pragma once

#include <string>

// Writes every picture and font of the menus into dir (which must exist); 1 ok.
int GenMultiMenu_WriteAll(const std::string& dir);
