// grbl_codes.h - grbl 1.1's numbered answers: the errors a line is answered with
// ("error:N") and the alarms ("ALARM:N"), and the reader's reasons sorted into them.
#ifndef KORVA3_GRBL_CODES_H
#define KORVA3_GRBL_CODES_H

#include <string>

namespace korva3_grbl {

enum Error {
    kExpectedCommandLetter = 1,
    kBadNumberFormat = 2,
    kInvalidStatement = 3,   // a '$' line grbl does not know
    kNegativeValue = 4,
    kSettingDisabled = 5,    // homing not enabled
    kNotIdle = 8,            // a '$' command that needs Idle (or Alarm)
    kSystemGcLock = 9,       // G-code locked out in Alarm or Jog
    kLineOverflow = 11,
    kTravelExceeded = 15,    // a jog beyond the travel
    kInvalidJogCommand = 16,
    kUnsupportedCommand = 20,
    kModalGroupViolation = 21,
    kUndefinedFeedRate = 22,
    kWordRepeated = 25,
    kNoAxisWords = 26,
    kValueWordMissing = 28,
    kInvalidTarget = 33,
    kArcRadiusError = 34,
    kUnusedWords = 36,
};

enum Alarm {
    kAlarmResetWhileMoving = 3, // position kept here: the card counts every pulse
    kAlarmHomingFailed = 9,     // no switch found
    kAlarmAbort = 10,           // an emergency stop (the card's, the panel's)
};

// The grbl error number for a reason the G-code reader gave for refusing a line.
int error_for(const std::string &reason);

// "[MSG:reason]\r\n": the reason for a person, before the line's error (the reader's
// "MDI:1: " left out, brackets kept out of the message).
std::string feedback(const std::string &reason);

} // namespace korva3_grbl

#endif
