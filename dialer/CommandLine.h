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

// The most characters the user-name and password edits take.
constexpr size_t kCredentialChars = 100;

// Puts the /U and /P values, where given, in place of |user| and |password|, each cut to
// kCredentialChars (a longer text in an edit could never be read back: the edit refuses it).
// The parsed password is wiped once applied.
void ApplyCommandLineCredentials(std::string& user, std::string& password);

// Wipes both parsed values.
void ForgetCommandLine();
