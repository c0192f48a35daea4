#include "CommandLine.h"

std::string g_strCmdLineUser;
std::string g_strCmdLinePassword;

void ParseCommandLine(const std::string& tail) {
  g_strCmdLineUser.clear();
  g_strCmdLinePassword.clear();

  enum class State { Idle, Slash, Letter, Value };
  State state = State::Idle;
  char letter = 0;
  std::string value;
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
          (letter == 'U' ? g_strCmdLineUser : g_strCmdLinePassword) = value;
          value.clear();
          letter = 0;
          state = State::Idle;
        } else {
          value += c;
        }
        break;
    }
  }
}
