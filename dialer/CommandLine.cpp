#include "CommandLine.h"

#include "FwStrings.h"

std::string g_strCmdLineUser;
std::string g_strCmdLinePassword;

void ParseCommandLine(const std::string& tail) {
  ForgetCommandLine();

  enum class State { Idle, Slash, Letter, Value };
  State state = State::Idle;
  char letter = 0;
  std::string value;
  value.reserve(tail.size());  // one buffer, wiped at the end, however long a value grows
  for (char c : tail) {
    if (c == '\0') break;
    switch (state) {
      case State::Idle:
        if (c == '/') state = State::Slash;
        break;
      case State::Slash:
        if (c == 'U' || c == 'P') {
          letter = c;
          state = State::Letter;
        } else {
          state = State::Idle;
        }
        break;
      case State::Letter:
        state = c == '"' ? State::Value : State::Idle;
        break;
      case State::Value:
        if (c == '"') {
          fw::AssignSecret(letter == 'U' ? g_strCmdLineUser : g_strCmdLinePassword, value);
          fw::WipeString(value);
          letter = 0;
          state = State::Idle;
        } else {
          value += c;
        }
        break;
    }
  }
  fw::WipeString(value);  // a value without its closing quote
}

void ApplyCommandLineCredentials(std::string& user, std::string& password) {
  if (!g_strCmdLineUser.empty()) user.assign(g_strCmdLineUser, 0, kCredentialChars);
  if (!g_strCmdLinePassword.empty()) {
    fw::WipeString(password);
    password.assign(g_strCmdLinePassword, 0, kCredentialChars);
  }
  fw::WipeString(g_strCmdLinePassword);
}

void ForgetCommandLine() {
  fw::WipeString(g_strCmdLineUser);
  fw::WipeString(g_strCmdLinePassword);
}
