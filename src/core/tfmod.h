// Rewrites of single configuration lines.
//
// Each rewrite reads "quorvex.cfg", replaces one quoted value in place and
// writes the file back through a temporary file and a rename, so a failed
// write never loses the configuration. Everything outside the value stays
// byte for byte. When the section, block or line is missing, or the value
// doesn't start with a quote, the file is left unchanged. A key given more
// than once has its last line rewritten, the one the loader keeps. A rewrite
// that can't read or write the file logs "Unable to write file [%s]" and then
// "Unable to write to file [%s]" and leaves the file as it was. A value longer
// than the loader's field for it logs "Value of %s longer than %d characters"
// and leaves the file as it was (the next start would stop on it).
#pragma once

// The configuration file the rewrites work on ("quorvex.cfg" by default).
void Tfmod_SetConfigPath(const char* path);
const char* Tfmod_GetConfigPath(void);
// Rewrites SetPlayerName of MultiPlayerConfiguration. A '"' in the name is
// written as '\'' so that the file stays loadable.
void Tfmod_SetPlayerName(const char* name);
// Rewrites SetPort and SetBaud of the SerialSettings block of
// MultiPlayerConfiguration.
void Tfmod_SetSerial(const char* port, const char* speed);
// Rewrites SetModem of MultiPlayerConfiguration.
void Tfmod_SetModem(const char* modem);
