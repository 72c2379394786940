#pragma once
// The maker of nodes that live in a loadable module. This program makes its nodes itself, so
// add-ons exist only as the identity a node reports through AddOn.

#include "platform/support/Status.h"

class BMediaAddOn {
 public:
  explicit BMediaAddOn(int32 id) : fID(id) {}
  virtual ~BMediaAddOn() = default;
  int32 AddonID() const { return fID; }

 private:
  int32 fID;
};
