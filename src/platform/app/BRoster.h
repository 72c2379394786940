#pragma once
// Starts programs by signature: the application whose .desktop file lists the signature as
// a MIME type (the desktop's default for that type when there are several) is launched
// through GIO.

#include "platform/app/AppDefs.h"

class BRoster {
 public:
  // B_OK once the program was started (its process id in `team` when GIO reports one);
  // B_ALREADY_RUNNING when a program already answers under the signature; B_BAD_VALUE for
  // an empty or OSC signature; B_NAME_NOT_FOUND when no application declares it;
  // B_LAUNCH_FAILED when it could not be started (the reason goes to standard error).
  // The program registers its signature on its own time: poll BMessenger::IsValid.
  status_t Launch(const char* signature, team_id* team = nullptr) const;
  // True when a program answers under the signature.
  bool IsRunning(const char* signature) const;
};

extern const BRoster* be_roster;
