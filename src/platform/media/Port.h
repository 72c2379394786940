#pragma once
// Message ports: bounded queues of (code, bytes) messages that a node's control thread reads.
// Ports live in this process; their ids stay unique for the life of the program.

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

#include "platform/support/Status.h"

typedef int32 port_id;


// Creates a port that holds at most `capacity` unread messages.
port_id create_port(int32 capacity, const char* name);

// Deletes a port; its unread messages are discarded and its blocked readers and writers
// return B_BAD_PORT_ID.
status_t delete_port(port_id port);

// Appends a message, waiting at most `timeout` µs for room (0: do not wait).
// B_OK, B_WOULD_BLOCK (full, no wait), B_TIMED_OUT or B_BAD_PORT_ID.
status_t write_port_etc(port_id port, int32 code, const void* data, size_t size, bigtime_t timeout);
inline status_t write_port(port_id port, int32 code, const void* data, size_t size) {
  return write_port_etc(port, code, data, size, B_INFINITE_TIMEOUT);
}

// Takes the oldest message, waiting at most `timeout` µs for one. Returns the message's size
// (copying at most `size` bytes into `buffer`), or B_TIMED_OUT, B_WOULD_BLOCK or B_BAD_PORT_ID.
ssize_t read_port_etc(port_id port, int32* code, void* buffer, size_t size, bigtime_t timeout);

// The number of unread messages, or B_BAD_PORT_ID.
ssize_t port_count(port_id port);
