#include "app/BHandler.h"

void BHandler::MessageReceived(BMessage*) {}
