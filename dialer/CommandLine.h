// The dialer's command line: the options /U "user" and /P "password".
#pragma once
#include <string>

// Values of /U and /P; empty until ParseCommandLine finds them.
extern std::string g_strCmdLineUser;
extern std::string g_strCmdLinePassword;

// Scans the command-line tail (the arguments after the program name) and sets the two
// globals. Each option is a slash, an upper-case U or P and a value in double quotes; the
// value runs to the next double quote (no escapes) and may hold blanks and slashes. A later
// option replaces an earlier one; a value whose closing quote is missing is dropped. The scan
// stops at the end of |tail| or at its first NUL character.
void ParseCommandLine(const std::string& tail);
