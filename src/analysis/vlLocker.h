#pragma once
// The lock every training set is: a lock its holding thread may take again.

#include "platform/support/BLocker.h"

class vlLocker : public BLocker {
 public:
  vlLocker();
  ~vlLocker() override;
};
