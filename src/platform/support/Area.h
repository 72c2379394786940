#pragma once
// Shareable memory areas: page-aligned blocks backed by an anonymous memory file, so that a
// second mapping (a clone) of the same pages can outlive the first.

#include <cstddef>

#include "platform/support/Status.h"

typedef int32 area_id;

struct area_info {
  area_id area;
  char name[32];
  size_t size;
  void* address;
};

// Creates an area of at least `size` bytes (rounded up to whole pages), zero-filled, and
// returns its id (> 0) with its address in *address; a negative status on failure.
area_id create_area(const char* name, void** address, size_t size);

// Maps the pages of `source` a second time; the clone keeps them alive after the source is
// deleted. Returns the clone's id with its address in *address.
area_id clone_area(const char* name, void** address, area_id source);

// Unmaps an area (a source or a clone); B_BAD_VALUE for an unknown id.
status_t delete_area(area_id area);

// The area whose pages hold `address`, or -1.
area_id area_for(const void* address);

status_t get_area_info(area_id area, area_info* info);
