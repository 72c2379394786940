#pragma once
// Every control of every window posts its command to the application object.

class BMessage;

// Posts a copy of `message` to the running application; controls call this on the GUI thread.
void PostToApplication(const BMessage& message);
