#pragma once
// Where registered signatures live: one Unix-domain socket per signature in a folder that
// only the user can open.
//
// The folder is $XDG_RUNTIME_DIR/zanvel, or, where XDG_RUNTIME_DIR is unset, zanvel-<uid> in
// the system's temporary directory ($TMPDIR or /tmp). Either is created with mode 0700 and
// refused when it is a symbolic link, not a directory, owned by another user or open to
// others.

#include <string>

#include "platform/support/Status.h"

// Finds (creating it when missing) and checks the folder. B_OK with its path, or an error
// code with a sentence saying what is wrong.
status_t message_folder(std::string* path, std::string* error);

// The file name of a signature's socket: letters are folded to lower case (signatures are
// MIME types), every byte other than [a-z0-9.-_] is written %XX, and a name too long for a
// socket address is cut and completed with a hash of the whole signature.
std::string socket_name_for(const std::string& signature);

// message_folder() + "/" + socket_name_for(signature), checked to fit a socket address.
status_t socket_path_for(const std::string& signature, std::string* path, std::string* error);

// Signatures that go out over OSC instead of a local socket: "osc.udp://host:port/prefix".
bool is_osc_signature(const char* signature);
