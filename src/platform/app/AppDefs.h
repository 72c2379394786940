#pragma once
// Codes shared by the application kit: system message codes and field type codes.

#include <sys/types.h>

#include "platform/support/Status.h"

typedef uint32 type_code;
typedef pid_t team_id;

// System messages.
constexpr uint32 B_QUIT_REQUESTED = FourCC("_QRQ");
constexpr uint32 B_READY_TO_RUN = FourCC("_RTR");

// Field types of a BMessage (the codes also appear in the flattened form).
constexpr type_code B_INT32_TYPE = FourCC("LONG");
constexpr type_code B_FLOAT_TYPE = FourCC("FLOT");
constexpr type_code B_STRING_TYPE = FourCC("CSTR");
constexpr type_code B_BOOL_TYPE = FourCC("BOOL");

// Roster results.
constexpr status_t B_ALREADY_RUNNING = static_cast<status_t>(0x80002003);
constexpr status_t B_LAUNCH_FAILED = static_cast<status_t>(0x80002004);
