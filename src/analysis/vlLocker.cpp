#include "analysis/vlLocker.h"

vlLocker::vlLocker() : BLocker("vlLocker") {}

vlLocker::~vlLocker() = default;
