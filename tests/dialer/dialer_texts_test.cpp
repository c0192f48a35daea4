// Status-line texts: every connection state and every RAS error code 0..800 against the
// string table the program ships (the test links the program's own resource script).
#include <windows.h>
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "FwStrings.h"
#include "StatusTexts.h"
#include "resource.h"

namespace {

// The sentence after "Error <code>: " of every code that has a text of its own.
const std::map<DWORD, std::string>& ErrorSentences() {
  static const std::map<DWORD, std::string> sentences = {
    {600, "An operation is pending."},
    {601, "Invalid port handle."},
    {602, "Port is already open."},
    {603, "Caller's buffer is too small."},
    {604, "Wrong information specified."},
    {605, "Cannot set port information."},
    {606, "The port is not connected."},
    {607, "The event is invalid."},
    {608, "The device does not exist."},
    {609, "The device type does not exist."},
    {610, "The buffer is invalid."},
    {611, "The route is not available."},
    {612, "The route is not allocated."},
    {613, "Invalid compression specified."},
    {614, "Out of buffers."},
    {615, "The port was not found."},
    {616, "An asynchronous request is pending."},
    {617, "The port or device is already disconnecting."},
    {618, "The port is not open."},
    {619, "The port is disconnected."},
    {620, "There are no endpoints."},
    {621, "Cannot open the phone book file."},
    {622, "Cannot load the phone book file."},
    {623, "Cannot find the phone book entry."},
    {624, "Cannot write the phone book file."},
    {625, "Invalid information found in the phone book file."},
    {626, "Cannot load a string."},
    {627, "Cannot find key."},
    {628, "The port was disconnected."},
    {629, "The port was disconnected by the remote machine."},
    {630, "The port was disconnected due to hardware failure."},
    {631, "The port was disconnected by the user."},
    {632, "The structure size is incorrect."},
    {633, "The port is already in use or is not configured for Remote Access dial out."},
    {634, "Cannot register your computer on on the remote network."},
    {635, "Unknown error."},
    {636, "The wrong device is attached to the port."},
    {637, "The string could not be converted."},
    {638, "The request has timed out."},
    {639, "No asynchronous net available."},
    {640, "A NetBIOS error has occurred."},
    {641, "The server cannot allocate NetBIOS resources needed to support the client."},
    {642, "One of your NetBIOS names is already registered on the remote network."},
    {643, "A network adapter at the server failed."},
    {644, "You will not receive network message popups."},
    {645, "Internal authentication error."},
    {646, "The account is not permitted to logon at this time of day."},
    {647, "The account is disabled."},
    {648, "The password has expired."},
    {649, "The account does not have Remote Access permission."},
    {650, "The Remote Access server is not responding."},
    {651, "Your modem (or other connecting device) has reported an error."},
    {652, "Unrecognized response from the device."},
    {653, "A macro required by the device was not found in the device .INF file section."},
    {654, "A command or response in the device .INF file section refers to an undefined macro."},
    {655, "The <message> macro was not found in the device .INF file secion."},
    {656, "The <defaultoff> macro in the device .INF file section contains an undefined macro."},
    {657, "The device .INF file could not be opened."},
    {658, "The device name in the device .INF or media .INI file is too long."},
    {659, "The media .INI file refers to an unknown device name."},
    {660, "The device .INF file contains no responses for the command."},
    {661, "The device .INF file is missing a command."},
    {662, "Attempted to set a macro not listed in device .INF file section."},
    {663, "The media .INI file refers to an unknown device type."},
    {664, "Cannot allocate memory."},
    {665, "The port is not configured for Remote Access."},
    {666, "Your modem (or other connecting device) is not functioning."},
    {667, "Cannot read the media .INI file."},
    {668, "The connection dropped."},
    {669, "The usage parameter in the media .INI file is invalid."},
    {670, "Cannot read the section name from the media .INI file."},
    {671, "Cannot read the device type from the media .INI file."},
    {672, "Cannot read the device name from the media .INI file."},
    {673, "Cannot read the usage from the media .INI file."},
    {674, "Cannot read the maximum connection BPS rate from the media .INI file."},
    {675, "Cannot read the maximum carrier BPS rate from the media .INI file."},
    {676, "The line is busy."},
    {677, "A person answered instead of a modem."},
    {678, "There is no answer."},
    {679, "Cannot detect carrier."},
    {680, "There is no dial tone."},
    {681, "General error reported by device."},
    {691, "Access denied because username and/or password is invalid on the domain."},
    {692, "Hardware failure in port or attached device."},
    {698, "A response keyname in the device .INF file is not in the expected format."},
    {699, "The device response caused buffer overflow."},
    {700, "The expanded command in the device .INF file is too long."},
    {701, "The device moved to a BPS rate not supported by the COM driver."},
    {702, "Device response received when none expected."},
    {707, "X.25 diagnostic indication."},
    {708, "The account has expired."},
    {709, "Error changing password on domain.  The password may be too short or may match a previously used password."},
    {710, "Serial overrun errors were detected while communicating with your modem."},
    {711, "RasMan initialization failure.  Check the event log."},
    {712, "Biplex port initializing.  Wait a few seconds and redial."},
    {713, "No active ISDN lines are available."},
    {714, "No ISDN channels are available to make the call."},
    {715, "Too many errors occured because of poor phone line quality."},
    {716, "The Remote Access IP configuration is unusable."},
    {717, "No IP addresses are available in the static pool of Remote Access IP addresses."},
    {718, "Timed out waiting for a valid response from the remote PPP peer."},
    {719, "PPP terminated by remote machine."},
    {720, "No PPP control protocols configured."},
    {721, "Remote PPP peer is not responding."},
    {722, "The PPP packet is invalid."},
    {723, "The phone number including prefix and suffix is too long."},
    {724, "The IPX protocol cannot dial-out on the port because the machine is an IPX router."},
    {725, "The IPX protocol cannot dial-in on the port because the IPX router is not installed."},
    {726, "The IPX protocol cannot be used for dial-out on more than one port at a time."},
    {728, "Cannot find an IP adapter bound to Remote Access."},
    {730, "Computer registration is not complete."},
    {731, "The protocol is not configured."},
    {732, "The PPP negotiation is not converging."},
    {733, "The PPP control protocol for this network protocol is not available on the server."},
    {734, "The PPP link control protocol terminated."},
    {735, "The requested address was rejected by the server."},
    {736, "The remote computer terminated the control protocol."},
    {737, "Loopback detected."},
    {738, "The server did not assign an address."},
    {739, "The authentication protocol required by the remote server cannot use the Windows NT encrypted password.  Redial, entering the password explicitly."},
    {740, "Invalid TAPI configuration."},
    {741, "The local computer does not support encryption."},
    {742, "The remote server does not support encryption."},
    {743, "The remote server requires encryption."},
    {744, "Cannot use the IPX network number assigned by remote server.  Check the event log."},
  };
  return sentences;
}

std::string StatusForError(DWORD code, DWORD extended) {
  return FormatErrorText(fw::LoadStr(ErrorTextId(code)), code, extended);
}

TEST(ErrorTexts, EveryCodeFrom0To800MatchesTheTable) {
  ASSERT_EQ(125u, ErrorSentences().size());
  for (DWORD code = 0; code <= 800; ++code) {
    auto it = ErrorSentences().find(code);
    if (it != ErrorSentences().end()) {
      EXPECT_EQ("Error " + std::to_string(code) + ": " + it->second, StatusForError(code, 77)) << "code " << code;
    } else {
      EXPECT_EQ(static_cast<UINT>(IDS_ERROR_GENERIC), ErrorTextId(code)) << "code " << code;
      EXPECT_EQ("Error occurred during dialing. Error code = " + std::to_string(code) +
                    ". Extended error code = 77.",
                StatusForError(code, 77))
          << "code " << code;
    }
  }
}

TEST(ErrorTexts, CodesAboveTheTableAndExtremesUseTheGenericText) {
  EXPECT_EQ("Error occurred during dialing. Error code = 4294967295. Extended error code = 4294967295.",
            StatusForError(0xFFFFFFFFu, 0xFFFFFFFFu));
  EXPECT_EQ("Error occurred during dialing. Error code = 8. Extended error code = 0.", StatusForError(8, 0));
  EXPECT_EQ("Error occurred during dialing. Error code = 623000. Extended error code = 0.", StatusForError(623000, 0));
}

TEST(ErrorTexts, CrossedCodesAndNamedExamples) {
  EXPECT_EQ(166u, ErrorTextId(644));
  EXPECT_EQ(165u, ErrorTextId(645));
  EXPECT_EQ("Error 644: You will not receive network message popups.", StatusForError(644, 0));
  EXPECT_EQ("Error 645: Internal authentication error.", StatusForError(645, 0));
  EXPECT_EQ(203u, ErrorTextId(691));
  EXPECT_EQ("Error 691: Access denied because username and/or password is invalid on the domain.",
            StatusForError(691, 5));
  EXPECT_EQ("Error 623: Cannot find the phone book entry.", StatusForError(623, 0));
  for (DWORD code : {682u, 703u, 727u, 729u, 745u}) {
    EXPECT_EQ(static_cast<UINT>(IDS_ERROR_GENERIC), ErrorTextId(code)) << code;
  }
  // Two blanks after the first full stop, as shipped.
  EXPECT_NE(std::string::npos, StatusForError(709, 0).find("domain.  The password"));
}

TEST(ErrorTexts, EveryErrorStringIdIsUsedOnce) {
  std::map<UINT, DWORD> owner;
  for (DWORD code = 0; code <= 800; ++code) {
    UINT id = ErrorTextId(code);
    if (id == IDS_ERROR_GENERIC) continue;
    EXPECT_TRUE(owner.emplace(id, code).second) << "string " << id << " for " << code << " and " << owner[id];
  }
  EXPECT_EQ(125u, owner.size());
  EXPECT_EQ(121u, owner.begin()->first);
  EXPECT_EQ(245u, owner.rbegin()->first);
}

TEST(FormatUnsigned, FillsMarkersInOrderAndLeavesTheRest) {
  EXPECT_EQ("a 1 b 2", FormatUnsigned("a %u b %u", {1, 2}));
  EXPECT_EQ("a 1 b %u", FormatUnsigned("a %u b %u", {1}));
  EXPECT_EQ("100% %d %s 5", FormatUnsigned("100% %d %s %u", {5}));
  EXPECT_EQ("%", FormatUnsigned("%", {5}));
  EXPECT_EQ("", FormatUnsigned("", {5}));
}

struct StateRow {
  DWORD state;
  const char* text;
};

TEST(StateTexts, AllSixteenStates) {
  const StateRow rows[] = {
      {0, "Opening communication port."},
      {1, "Communication port successfully opened."},
      {2, "Connecting to communications device."},
      {3, "Communication device successfully connected."},
      {4, "Physical link established."},
      {5, "Starting authentication process."},
      {6, "Authentication event received."},
      {10, "Starting projection phase."},
      {11, "Starting link speed calculation phase."},
      {12, "Acknowledging authentication request."},
      {14, "Authentication successfully completed."},
      {18, "Projection phase successfully completed."},
      {19, "Starting authentication process."},
      {21, "Logging on to network."},
      {0x2000, "Connected."},
      {0x2001, "Disconnected."},
  };
  for (const StateRow& row : rows) {
    UINT id = StateTextId(row.state);
    ASSERT_NE(0u, id) << "state " << row.state;
    EXPECT_EQ(row.text, fw::LoadStr(id)) << "state " << row.state;
  }
  EXPECT_EQ(110u, StateTextId(5));
  EXPECT_EQ(117u, StateTextId(19));
}

TEST(StateTexts, StatesWithoutTextHaveNoString) {
  for (DWORD state : {7u, 8u, 9u, 13u, 15u, 16u, 17u, 20u, 22u, 23u, 24u, 0x1000u, 0x1001u, 0x1002u, 0x1003u,
                      0x1004u, 0x1005u, 0x2002u, 0xFFFFFFFFu}) {
    EXPECT_EQ(0u, StateTextId(state)) << "state " << state;
  }
}

TEST(StringTable, PromptsMessagesAndHomePage) {
  EXPECT_EQ("&About Tessory Dialer...", fw::LoadStr(101));
  EXPECT_EQ("Click Connect to start the connection process.", fw::LoadStr(102));
  EXPECT_EQ("Enter your password.", fw::LoadStr(103));
  EXPECT_EQ("Enter your user name.", fw::LoadStr(104));
  EXPECT_EQ("Failed to detect Velmora adapter. Verify that Velmora adapter is installed.", fw::LoadStr(248));
  EXPECT_EQ("Failed to create Tessory Connection phone book entry.", fw::LoadStr(249));
  EXPECT_EQ("Tessory Dialer", fw::LoadStr(250));
  EXPECT_EQ(0u, fw::LoadStr(247).rfind("https://", 0)) << fw::LoadStr(247);
  EXPECT_EQ("Please enter no more than %1 characters.", fw::LoadStr(61715));
}

}  // namespace
