#pragma once
// Status codes, time and code types shared by every kit.

#include <cstdint>

typedef int32_t status_t;
typedef int64_t bigtime_t;  // microseconds
typedef int32_t int32;
typedef uint32_t uint32;
typedef int64_t int64;
typedef uint8_t uint8;

constexpr status_t B_OK = 0;
constexpr status_t B_ERROR = -1;
constexpr status_t B_NO_MEMORY = static_cast<status_t>(0x80000000);
constexpr status_t B_BAD_VALUE = static_cast<status_t>(0x80000005);
constexpr status_t B_TIMED_OUT = static_cast<status_t>(0x80000009);
constexpr status_t B_BAD_PORT_ID = static_cast<status_t>(0x80000010);
constexpr status_t B_NAME_NOT_FOUND = static_cast<status_t>(0x8000000b);
constexpr status_t B_BUSY = static_cast<status_t>(0x8000000e);
constexpr status_t B_BAD_INDEX = static_cast<status_t>(0x80000016);
constexpr status_t B_WOULD_BLOCK = static_cast<status_t>(0x80000019);
constexpr status_t B_MISMATCHED_VALUES = static_cast<status_t>(0x80000018);
constexpr status_t B_NOT_ALLOWED = static_cast<status_t>(0x8000000f);
constexpr status_t B_PERMISSION_DENIED = static_cast<status_t>(0x80000002);
constexpr status_t B_BAD_TYPE = static_cast<status_t>(0x80000004);
constexpr status_t B_NAME_IN_USE = static_cast<status_t>(0x80000008);
constexpr status_t B_NO_INIT = static_cast<status_t>(0x8000000d);
constexpr status_t B_BAD_DATA = static_cast<status_t>(0x8000001a);

// A timeout that never expires.
constexpr bigtime_t B_INFINITE_TIMEOUT = INT64_MAX;

// Media kit codes.
constexpr status_t B_MEDIA_BAD_FORMAT = static_cast<status_t>(0x80004103);
constexpr status_t B_MEDIA_BAD_NODE = static_cast<status_t>(0x80004104);
constexpr status_t B_MEDIA_BAD_SOURCE = static_cast<status_t>(0x80004111);
constexpr status_t B_MEDIA_BAD_DESTINATION = static_cast<status_t>(0x80004112);
constexpr status_t B_MEDIA_NODE_BUSY = static_cast<status_t>(0x8000410a);
constexpr status_t B_MEDIA_SYSTEM_FAILURE = static_cast<status_t>(0x80004100);

// Four-character code, most significant character first: FourCC("smoo") == 0x736D6F6F.
constexpr uint32 FourCC(const char (&c)[5]) {
  return (uint32(uint8(c[0])) << 24) | (uint32(uint8(c[1])) << 16) | (uint32(uint8(c[2])) << 8) |
         uint32(uint8(c[3]));
}
